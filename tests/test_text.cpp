// UTF-16 and UTF-8 conversions: valid text round-trips, broken text becomes U+FFFD.
#include <gtest/gtest.h>

#include "platform/text.h"

namespace kettorin {
namespace {

struct Case {
  std::u16string utf16;
  std::string utf8;
};

TEST(Text, Utf16ToUtf8) {
  const Case cases[] = {
      {u"", ""},
      {u"snare C D", "snare C D"},
      {u"caf\u00e9", "caf\xC3\xA9"},
      {u"\u2713", "\xE2\x9C\x93"},
      {u"\U0001F941", "\xF0\x9F\xA5\x81"},       // a surrogate pair: one 4-byte character
      {std::u16string{0xD83E}, "\xEF\xBF\xBD"},  // lone high surrogate
      {std::u16string{0xDD41}, "\xEF\xBF\xBD"},  // lone low surrogate
      {std::u16string{0xDD41, 0xD83E, u'x'}, "\xEF\xBF\xBD\xEF\xBF\xBDx"},  // reversed pair
      {std::u16string{0xD83E, u'A'},
       "\xEF\xBF\xBD"
       "A"},  // high, then ASCII
      // The ends of the surrogate ranges: alone they are marks, together the last character.
      {std::u16string{0xDBFF}, "\xEF\xBF\xBD"},
      {std::u16string{0xDFFF}, "\xEF\xBF\xBD"},
      {std::u16string{0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
  // A view that ends between the halves of a pair: nothing past its end is read.
  const std::u16string pair = u"\U0001F941";
  EXPECT_EQ(Utf16ToUtf8(std::u16string_view(pair).substr(0, 1)), "\xEF\xBF\xBD");
}

TEST(Text, Utf8ToUtf16) {
  const Case cases[] = {
      {u"", ""},
      {u"out.wav", "out.wav"},
      {u"caf\u00e9 \u2713 \U0001F941", "caf\xC3\xA9 \xE2\x9C\x93 \xF0\x9F\xA5\x81"},
      {u"\uFFFDA",
       "\xFF"
       "A"},  // a byte that starts nothing
      {u"\uFFFDA",
       "\xC3"
       "A"},                            // a truncated sequence
      {u"\uFFFD\uFFFD", "\xC0\xAF"},    // an overlong form: two bytes, two marks
      {u"\uFFFD", "\xED\xA0\x80"},      // an encoded surrogate
      {u"\uFFFD", "\xF4\x90\x80\x80"},  // past U+10FFFF
      {u"A\uFFFD", "A\xE2\x9C"},        // cut off at the end
      {std::u16string{0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},  // U+10FFFF, the last there is
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
}

}  // namespace
}  // namespace kettorin
