// Names between disk and engine: every byte string round-trips exactly, and a name that is not
// valid UTF-8 or holds a backslash comes out wide, so a run gives such an MP3 file a plain name.
#include <gtest/gtest.h>

#include "HostNames.h"
#include "base/Text.h"

namespace {

struct NameCase {
    std::string bytes;
    std::u16string units;
    bool wide;
};

TEST(HostNames, RoundTripExactly) {
    const NameCase cases[] = {
        {"a.mp3", u"a.mp3", false},
        {"Caf\xC3\xA9.mp3", u"Café.mp3", false},
        {"\xE6\x99\xB4\xE5\xA4\xA9.mp3", u"晴天.mp3", true},
        {"\xE3\x81\x95\xE3\x81\x8F\xE3\x82\x89", u"さくら", true},
        {"song\xF0\x9F\x8E\xB5.mp3", u"song🎵.mp3", true},
        {"bad\xFF.mp3", u"bad\xDCFF.mp3", true},
        {"\xC3", u"\xDCC3", true},                                // cut short
        {"\xC0\xAF", u"\xDCC0\xDCAF", true},                      // overlong '/'
        {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80", true},            // a surrogate
        {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80", true},  // above U+10FFFF
        {"\xE9\xC3\xA9", u"\xDCE9\x00E9", true},                  // bad lead, then é
        {"a\\"
         "b.mp3",
         u"a\xDC5C"
         u"b.mp3",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(NameFromHost(c.bytes), c.units);
        std::string back;
        ASSERT_TRUE(NameToHost(c.units, back));
        EXPECT_EQ(back, c.bytes);
        EXPECT_EQ(HasWideUnits(NameFromHost(c.bytes)), c.wide);
    }
}

TEST(HostNames, UnitsNoNameOnDiskGivesAreRefused) {
    std::string bytes;
    for (std::u16string name : {u"\xD800", u"a\xD83D", u"\xDC10", u"\xDFFF", u"\xDE00x"})
        EXPECT_FALSE(NameToHost(name, bytes)) << static_cast<int>(name[0]);
}

}  // namespace
