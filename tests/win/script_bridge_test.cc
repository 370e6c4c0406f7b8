#include "ui/script_bridge.h"

#include <gtest/gtest.h>

#include "ui/site_objects.h"
#include "ui/web_instance.h"
#include "win/fake_script.h"
#include "win/page_log_recorder.h"

using namespace bastion;

namespace {

std::vector<std::wstring>& Pressed() {
  static std::vector<std::wstring> pressed;
  return pressed;
}
void RecordPress(BSTR text) { Pressed().push_back(text == nullptr ? L"<null>" : text); }
void OtherPress(BSTR) { Pressed().push_back(L"<other>"); }

// A record as the procedure has it after registering the page's buttons;
// the window handle only needs to be non-null for the name lookups.
class ExternalTest : public testing::Test {
 protected:
  void SetUp() override {
    Pressed().clear();
    ASSERT_EQ(RegisterExternal(&record_, L"closebtn", RecordPress), 0);
    ASSERT_EQ(RegisterExternal(&record_, L"abortbtn", OtherPress), 0);
    record_.hwnd.store(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000)));
    external_ = new CImpIDispatch(&record_);
    external_->AddRef();
    std::vector<DISPID> ids;
    ASSERT_EQ(Ids({L"closebtn", L"abortbtn"}, ids), S_OK);
    closeId_ = ids[0];
    abortId_ = ids[1];
  }
  void TearDown() override { external_->Release(); }

  HRESULT Ids(std::vector<const wchar_t*> names, std::vector<DISPID>& ids) {
    ids.assign(names.size(), 12345);
    return external_->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(names.data()),
                                    static_cast<UINT>(names.size()), 0, ids.data());
  }
  HRESULT Call(DISPID id, WORD flags, VARIANT* arguments, UINT count) {
    DISPPARAMS parameters{arguments, nullptr, count, 0};
    VARIANT result;
    VariantInit(&result);
    return external_->Invoke(id, IID_NULL, 0, flags, &parameters, &result, nullptr, nullptr);
  }

  WebInstance record_;
  CImpIDispatch* external_ = nullptr;
  DISPID closeId_ = 0;
  DISPID abortId_ = 0;
};

// The id counter is process-wide: the first two names of a process get 1
// and 2 (ctest runs each test alone); later records continue from there.
TEST_F(ExternalTest, NamesResolveToTheirIdsCaseSensitively) {
  EXPECT_EQ(abortId_, closeId_ + 1);
  std::vector<DISPID> ids;
  EXPECT_EQ(Ids({L"closebtn"}, ids), S_OK);
  EXPECT_EQ(ids[0], closeId_);
  EXPECT_EQ(Ids({L"CloseBtn"}, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
  EXPECT_EQ(Ids({L"retrybtn"}, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
  EXPECT_EQ(Ids({L"closebtn", L"nothere", L"abortbtn"}, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids, (std::vector<DISPID>{closeId_, DISPID_UNKNOWN, abortId_}));
  EXPECT_EQ(Ids({}, ids), DISP_E_UNKNOWNNAME);
}

TEST_F(ExternalTest, NamesAreUnknownOnceTheWindowIsGone) {
  record_.hwnd.store(nullptr);
  std::vector<DISPID> ids;
  EXPECT_EQ(Ids({L"closebtn"}, ids), DISP_E_UNKNOWNNAME);
}

TEST_F(ExternalTest, RegisteringANameTwiceKeepsTheFirst) {
  EXPECT_EQ(RegisterExternal(&record_, L"closebtn", OtherPress), 1);
  EXPECT_EQ(RegisterExternal(nullptr, L"other", OtherPress), 1);
  std::vector<DISPID> ids;
  EXPECT_EQ(Ids({L"closebtn"}, ids), S_OK);
  EXPECT_EQ(ids[0], closeId_);
  VARIANT argument;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = SysAllocString(L"RETRY");
  EXPECT_EQ(Call(closeId_, DISPATCH_METHOD, &argument, 1), S_OK);
  VariantClear(&argument);
  EXPECT_EQ(Pressed(), (std::vector<std::wstring>{L"RETRY"}));
}

TEST_F(ExternalTest, OnlyMethodCallsWithAStringReachACallback) {
  VARIANT argument;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = SysAllocString(L"\r\n          CLOSE\r\n        ");
  EXPECT_EQ(Call(closeId_, DISPATCH_PROPERTYGET, &argument, 1), S_OK);
  EXPECT_EQ(Call(closeId_, DISPATCH_PROPERTYPUT, &argument, 1), S_OK);
  EXPECT_EQ(Call(abortId_ + 5, DISPATCH_METHOD, &argument, 1), S_OK);
  EXPECT_EQ(Call(closeId_, DISPATCH_METHOD, nullptr, 0), S_OK);
  VARIANT number;
  V_VT(&number) = VT_I4;
  V_I4(&number) = 5;
  EXPECT_EQ(Call(closeId_, DISPATCH_METHOD, &number, 1), S_OK);
  EXPECT_TRUE(Pressed().empty());
  EXPECT_EQ(Call(closeId_, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &argument, 1), S_OK);
  EXPECT_EQ(Call(abortId_, DISPATCH_METHOD, &argument, 1), S_OK);
  EXPECT_EQ(Pressed(), (std::vector<std::wstring>{L"\r\n          CLOSE\r\n        ", L"<other>"}));
  VariantClear(&argument);
}

TEST(ExternalDispatch, CountsItsReferences) {
  auto* external = new CImpIDispatch(nullptr);
  EXPECT_EQ(external->AddRef(), 1u);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(external->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(external));
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(external->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(external->QueryInterface(IID_IOleObject, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(dispatch->Release(), 2u);
  EXPECT_EQ(unknown->Release(), 1u);
  // No record: nothing is known and nothing is called.
  LPOLESTR name = const_cast<LPOLESTR>(L"closebtn");
  DISPID id = 0;
  EXPECT_EQ(external->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(external->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(external->Release(), 0u);
}

TEST(RunCommand, WithoutARecordOrWindowDeliversNothing) {
  const wchar_t* argument = L"Server: x";
  EXPECT_EQ(RunCommand(nullptr, L"SetServerName", 1, &argument), 1);
  WebInstance record;
  TakePageLog();
  SetPageLog(&record, RecordPageLog);
  EXPECT_EQ(RunCommand(&record, L"SetServerName", 1, &argument), 1);
  EXPECT_EQ(TakePageLog(), (std::vector<std::wstring>{L"RunCommand called\n"}));
}

RunCommandRequest Request(const wchar_t* function, std::vector<VARIANT>& arguments) {
  return {function, {arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0}};
}

TEST(RunScript, InvokesThePageFunctionByItsImplicitId) {
  FakeScript script;
  std::vector<VARIANT> arguments(1);
  V_VT(&arguments[0]) = VT_BSTR;
  V_BSTR(&arguments[0]) = SysAllocString(L"Server: bastion.example");
  RunCommandRequest request = Request(L"SetServerName", arguments);
  TakePageLog();
  InvokeScriptFunction(&script, &request, RecordPageLog);
  VariantClear(&arguments[0]);
  ASSERT_EQ(script.lookups.size(), 1u);
  EXPECT_EQ(script.lookups[0].first, L"SetServerName");
  EXPECT_EQ(script.lookups[0].second, static_cast<DWORD>(fdexNameImplicit));
  ASSERT_EQ(script.calls.size(), 1u);
  EXPECT_EQ(script.calls[0].id, 42);
  EXPECT_EQ(script.calls[0].flags, DISPATCH_METHOD);
  EXPECT_FALSE(script.calls[0].namedArguments);
  EXPECT_EQ(script.calls[0].arguments, (std::vector<std::wstring>{L"Server: bastion.example"}));
  EXPECT_EQ(TakePageLog(), (std::vector<std::wstring>{L"run script result 0:\n"}));
  EXPECT_EQ(script.references, 1u);
}

TEST(RunScript, ForceRetryGoesWithoutArguments) {
  FakeScript script;
  std::vector<VARIANT> none;
  RunCommandRequest request = Request(L"ForceRetry", none);
  InvokeScriptFunction(&script, &request, nullptr);
  ASSERT_EQ(script.calls.size(), 1u);
  EXPECT_TRUE(script.calls[0].arguments.empty());
  EXPECT_EQ(script.lookups[0].first, L"ForceRetry");
}

TEST(RunScript, AFailingFunctionIsOnlyLogged) {
  FakeScript script;
  script.invokeResult = DISP_E_MEMBERNOTFOUND;
  std::vector<VARIANT> none;
  RunCommandRequest request = Request(L"NoSuchFunction", none);
  TakePageLog();
  InvokeScriptFunction(&script, &request, RecordPageLog);
  EXPECT_EQ(TakePageLog(), (std::vector<std::wstring>{L"run script result -2147352573:\n"}));
}

TEST(RunScript, NothingIsInvokedWithoutDispatchEx) {
  FakeScript script;
  script.offersDispatchEx = false;
  std::vector<VARIANT> none;
  RunCommandRequest request = Request(L"ForceRetry", none);
  EXPECT_FALSE(InvokeScriptFunction(&script, &request, nullptr));
  EXPECT_TRUE(script.calls.empty());
  // A record without a document has no script at all, so RETRY is not
  // shown and the procedure must not wait for it.
  WebInstance record;
  record.retryShown.store(true);
  RunScript(&record, &request);
  EXPECT_FALSE(record.retryShown.load());
}

// The rule itself has native tests (window_rules_test); this is the wide
// text's way to it.
TEST(IsHtmlFilePath, ReadsWideTextThroughTheRule) {
  EXPECT_TRUE(IsHtmlFilePath(L"C:\\pages\\progress.html"));
  EXPECT_FALSE(IsHtmlFilePath(L"C:\\my pages\\progress.html"));
}

}  // namespace
