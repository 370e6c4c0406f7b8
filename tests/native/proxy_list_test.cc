#include "Src/Httphelper/proxy_list.h"

#include <gtest/gtest.h>

#include <string>

using namespace bastion;

namespace {

std::wstring Rest(const wchar_t* p) { return p == nullptr ? L"<end>" : std::wstring(p); }

TEST(ProxyList, WalksTheListEntryByEntry) {
  const wchar_t* list = L"a:80; b:80;;c:80";
  const wchar_t* b = NextProxyEntry(list);
  EXPECT_EQ(Rest(b), L"b:80;;c:80");
  const wchar_t* c = NextProxyEntry(b);
  EXPECT_EQ(Rest(c), L"c:80");
  EXPECT_EQ(NextProxyEntry(c), nullptr);
}

TEST(ProxyList, EveryWhiteSpaceCharacterSeparates) {
  EXPECT_EQ(Rest(NextProxyEntry(L"a\t\n\v\f\r b")), L"b");
  EXPECT_EQ(Rest(NextProxyEntry(L"a;;; ;b;")), L"b;");
  // Trailing separators after the last entry end the list.
  EXPECT_EQ(NextProxyEntry(L"a ; ;"), nullptr);
  EXPECT_EQ(NextProxyEntry(L""), nullptr);
  EXPECT_EQ(NextProxyEntry(nullptr), nullptr);
  // Other control characters belong to the entry.
  EXPECT_EQ(NextProxyEntry(L"a\x08" L"b"), nullptr);
  EXPECT_FALSE(IsProxySeparator(L','));
  EXPECT_FALSE(IsProxySeparator(8));
  EXPECT_FALSE(IsProxySeparator(14));
}

TEST(ProxyList, ErrorSets) {
  for (uint32_t e : {0u, 87u, 12002u, 12006u, 12015u, 12017u, 12166u, 12167u, 12178u, 12180u})
    EXPECT_TRUE(IsRecoverableAutoProxyError(e)) << e;
  for (uint32_t e : {2u, 5u, 12007u, 12029u, 12030u, 12179u, 12181u})
    EXPECT_FALSE(IsRecoverableAutoProxyError(e)) << e;
  for (uint32_t e : {12002u, 12007u, 12029u, 12030u}) EXPECT_TRUE(AllowsProxyFailOver(e)) << e;
  for (uint32_t e : {0u, 5u, 12006u, 12031u, 12157u, 12175u}) EXPECT_FALSE(AllowsProxyFailOver(e)) << e;
}

TEST(SessionChoice, FirstActiveSessionInListOrder) {
  SessionEntry sessions[] = {{0, 4}, {3, 1}, {2, 0}, {1, 0}};
  EXPECT_EQ(ChooseSession(sessions, 4), 2u);
}

TEST(SessionChoice, SessionZeroWithoutAnActiveOne) {
  SessionEntry sessions[] = {{5, 1}, {6, 4}};
  EXPECT_EQ(ChooseSession(sessions, 2), 0u);
  EXPECT_EQ(ChooseSession(nullptr, 0), 0u);
}

}  // namespace
