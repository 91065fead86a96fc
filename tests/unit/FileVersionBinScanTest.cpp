// The one-pass search of binary files against the search as worded (every
// offset, the zero-terminated run from there), on random and hostile data.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/BinScanReference.h"
#include "update/versions/FileVersionScan.h"

namespace {

using reference::BinVersionAsWorded;
using update::FileKind;
using update::VersionFromData;

using namespace std::string_literals;

std::string Ours(const std::string& key, const std::string& data) {
  return VersionFromData(FileKind::kBin, key, data);
}

TEST(FileVersionBinScan, KnownAnswers) {
  EXPECT_EQ(Ours("K", "\0K=1.5\0"s), "1.5");
  EXPECT_EQ(Ours("K", "\0K"s), "");  // no room behind the key
  EXPECT_EQ(Ours("K", "\0K="s), "");
  EXPECT_EQ(Ours("AAB", "\0AAAAAB-7.1\0"s), "7.1");  // restart inside a partial match
  EXPECT_EQ(Ours("ABAC", "\0ABABAC:3.2"s), "3.2");
  EXPECT_EQ(Ours("K", "xK 32 2E 30\0K=9.9"s), "2.0");  // hex pairs before the first zero
  EXPECT_EQ(Ours("", "\0abc"s), "");                   // empty key: hex pairs from the start
  EXPECT_EQ(Ours("K", ""), "");
}

TEST(FileVersionBinScan, EqualsTheWordedSearchOnRandomData) {
  std::mt19937 rng(5);
  // Few distinct bytes, so keys, partial matches and zero bytes are common.
  const std::string alphabet = "\0\0AAB3 \xDD\x01.4"s;
  for (int trial = 0; trial < 20000; ++trial) {
    std::string data(rng() % (trial % 10 == 0 ? 3000 : 60), '\0');
    for (char& c : data) c = alphabet[rng() % alphabet.size()];
    if (trial % 3 == 0) {
      for (char& c : data) {
        if (c == '\0') c = 'A';  // no zero byte at all
      }
    }
    std::string key(rng() % 5, '\0');
    for (char& c : key) c = alphabet[2 + rng() % (alphabet.size() - 2)];
    if (trial % 7 == 0 && !key.empty()) key[0] = '\xDD';
    ASSERT_EQ(Ours(key, data), BinVersionAsWorded(key, data))
        << "trial " << trial << " key size " << key.size() << " data size " << data.size();
  }
}

TEST(FileVersionBinScan, EqualsTheWordedSearchOnHostileData) {
  struct Case {
    std::string key;
    std::string data;
  };
  std::vector<Case> cases;
  const std::string as(2000, 'A');
  cases.push_back({"AAAAAAAB", as});            // near misses everywhere
  cases.push_back({"AAAAAAAB", as + "B=1.0"});  // the key at the very end
  cases.push_back({"AAAAAAAB", as + "B"});
  cases.push_back({"ABABABAC", std::string(1000, 'A') + "BABABABABAC 31 32"});
  cases.push_back({"AB", "A\0B\0AB\0"s});  // a zero inside a would-be match
  cases.push_back(
      {"\xDD"
       "AB",
       "\0\xDD"
       "AB123"s});  // 0xDD with too few bytes behind
  cases.push_back(
      {"\xDD"
       "AB",
       "\0\xDD"
       "AB1234.5"s});
  cases.push_back({"K\0ignored"s, "\0K=2.5"s});  // the key ends at its zero
  cases.push_back({"", ""});
  cases.push_back({"", "\0\0\0"s});
  cases.push_back({"KEY", std::string(100, '\0')});
  cases.push_back({"LONGER THAN DATA", "LONG"});
  cases.push_back({"K", "K"});
  cases.push_back({"K", "K\x01\x02"});
  cases.push_back({"K", "K 31 \x80\x80 00"});  // non-hex digits decoded without check
  cases.push_back({"K", "K 1 "});              // a pair that gives 0
  for (const Case& c : cases) {
    EXPECT_EQ(Ours(c.key, c.data), BinVersionAsWorded(c.key, c.data)) << "key " << c.key;
  }
}

}  // namespace
