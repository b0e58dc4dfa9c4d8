// Drum names: prefix matching in table order, ASCII case folding, and the kick as the fallback.
#include <gtest/gtest.h>

#include "compose/compose.h"
#include "tests/test_support.h"

namespace kettorin {
namespace {

struct Case {
  const char* name;
  DrumKind kind;
};

void PrintTo(const Case& c, std::ostream* os) {
  testing_support::PrintFields(os, std::string(c.name), std::string(Info(c.kind).displayName));
}

class DrumLookup : public testing::TestWithParam<Case> {};

TEST_P(DrumLookup, FindsTheKindOfTheFirstMatchingKey) {
  EXPECT_EQ(LookupDrumKind(GetParam().name), GetParam().kind) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, DrumLookup,
    testing::Values(Case{"kick", DrumKind::kKick}, Case{"KICK", DrumKind::kKick},
                    Case{"kicker", DrumKind::kKick}, Case{"Kick drum", DrumKind::kKick},
                    Case{"", DrumKind::kKick}, Case{"hihat", DrumKind::kKick},
                    Case{"bass", DrumKind::kKick}, Case{"hi-hat", DrumKind::kKick},
                    Case{"snares", DrumKind::kSnare}, Case{"HiHat_Closed", DrumKind::kHiHatClosed},
                    Case{"hihat_closed", DrumKind::kHiHatClosed},
                    Case{"hihatc", DrumKind::kHiHatClosed}, Case{"hihato", DrumKind::kHiHatOpen},
                    Case{"HIHAT_OPEN", DrumKind::kHiHatOpen}, Case{"Tom", DrumKind::kHighTom},
                    Case{"toms", DrumKind::kHighTom}, Case{"tomato", DrumKind::kHighTom},
                    Case{"high_tom", DrumKind::kHighTom}, Case{"mid_tom", DrumKind::kMidTom},
                    Case{"low_tom", DrumKind::kLowTom}, Case{"mid", DrumKind::kKick},
                    Case{"low", DrumKind::kKick}, Case{"cowbells", DrumKind::kCowbell},
                    Case{"clapping", DrumKind::kClap}, Case{"ridebell", DrumKind::kRide},
                    Case{"crashes", DrumKind::kCrash},
                    // Only ASCII letters fold: a Turkish dotted capital I is not an 'i'.
                    Case{"R\xC4\xB0"
                         "DE",
                         DrumKind::kKick},
                    // Bytes above 0x7F never match a key, whatever the locale.
                    Case{"\xC3\x89snare", DrumKind::kKick}));

TEST(DrumKinds, TableIsIndexedByKindWithTheReportedNames) {
  const char* names[] = {"KICK",     "SNARE",   "HI-HAT CLOSED", "HI-HAT OPEN",
                         "HIGH TOM", "MID TOM", "LOW TOM",       "COWBELL",
                         "CLAP",     "RIDE",    "CRASH"};
  for (size_t i = 0; i < kDrumKinds.size(); ++i) {
    EXPECT_EQ(static_cast<size_t>(kDrumKinds[i].kind), i);
    EXPECT_EQ(kDrumKinds[i].displayName, names[i]);
  }
}

TEST(DrumKinds, MatchPrefixComparesOnlyTheFirstCharacters) {
  EXPECT_TRUE(MatchPrefixNoCase("SNAREdrum", "snare", 5));
  EXPECT_TRUE(MatchPrefixNoCase("sn", "snare", 2));
  EXPECT_FALSE(MatchPrefixNoCase("sn", "snare", 5));  // a name shorter than the key
  EXPECT_FALSE(MatchPrefixNoCase("snbre", "snare", 5));
}

}  // namespace
}  // namespace kettorin
