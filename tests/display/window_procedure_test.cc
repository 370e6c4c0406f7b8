#include "ui/window_procedure.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ui/site_objects.h"
#include "ui/web_instance.h"
#include "win/page_log_recorder.h"
#include "win/process_runner.h"

using namespace bastion;

namespace {

TEST(ProgressWindow, StartsWithThePagesButtonsAndTheServerLine) {
  HMODULE product = LoadLibraryExW(ProductPath().c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(product, nullptr);
  TakePageLog();
  WebInstance* instance = nullptr;
  ASSERT_EQ(StartProgressWindow(&instance, RecordPageLog, L"bastion.example", product),
            ProgressWindowStart::kStarted);
  ASSERT_NE(instance, nullptr);
  ASSERT_NE(WebInstanceWindow(instance), nullptr);
  EXPECT_EQ(instance->closeWindow.load(), &CloseWebInstance);
  wchar_t record[32];
  _snwprintf(record, 32, L"%p", static_cast<void*>(instance));
  EXPECT_EQ(TakePageLog(), (std::vector<std::wstring>{
                               L"Log function registered",
                               L"Close Window function registered",
                               L"RunCommand called\n",
                               std::wstring(L"RunCommand(") + record + L", SetServerName, 1) called\n"}));

  // The page's two names, in the order the procedure registers them.
  auto* external = new CImpIDispatch(instance);
  external->AddRef();
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"closebtn"), const_cast<LPOLESTR>(L"abortbtn")};
  DISPID ids[2] = {};
  EXPECT_EQ(external->GetIDsOfNames(IID_NULL, names, 2, 0, ids), S_OK);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], 2);
  external->Release();

  CloseWebInstance(instance);
  EXPECT_EQ(WebInstanceWindow(instance), nullptr);
}

TEST(ProgressWindow, WithoutThePageNothingStarts) {
  WebInstance* instance = nullptr;
  // The test binary carries no page resource.
  EXPECT_EQ(StartProgressWindow(&instance, nullptr, L"x", nullptr), ProgressWindowStart::kNoPage);
  EXPECT_EQ(instance, nullptr);
}

}  // namespace
