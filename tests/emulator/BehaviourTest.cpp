#include "emulator/Behaviour.h"

#include <gtest/gtest.h>

namespace tolvane::emulator {
namespace {

TEST(Behaviour, ReadModelsAndDamageAsTheCommandLineWritesThem)
{
    ReadModel model;
    std::string error;
    ASSERT_TRUE(ParseReadModel("offset=+667,c2=off,cache=1024,overread", model, error)) << error;
    EXPECT_EQ(model.offset, 667);
    EXPECT_FALSE(model.c2);
    EXPECT_EQ(model.cacheSectors, 1024);
    EXPECT_TRUE(model.overread);
    ASSERT_TRUE(ParseReadModel("offset=-1164,overread=no", model, error)) << error;
    EXPECT_EQ(model.offset, -1164);
    EXPECT_FALSE(model.overread);
    EXPECT_EQ(model.cacheSectors, 1024) << "what the text leaves out stays";
    for (const char* bad : {"offset", "offset=6x", "cache=-1", "c2=maybe", "speed=4", "offset=6,,c2"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParseReadModel(bad, model, error));
        EXPECT_FALSE(error.empty());
    }

    DamageRange range;
    ASSERT_TRUE(ParseDamage("1000", range, error)) << error;
    EXPECT_EQ(range.first, 1000);
    EXPECT_EQ(range.count, 1);
    EXPECT_TRUE(range.damage.flagged && !range.damage.sameWrong && !range.damage.fails);
    EXPECT_DOUBLE_EQ(range.damage.readsRight, 0.5);
    ASSERT_TRUE(ParseDamage("20000+40:lost", range, error)) << error;
    EXPECT_EQ(range.count, 40);
    EXPECT_EQ(range.damage.readsRight, 0.0);
    const struct {
        const char* text;
        bool Damage::*flag;
        bool value;
    } kinds[] = {{"5:same", &Damage::sameWrong, true}, {"5:unflagged", &Damage::flagged, false},
                 {"5:fails", &Damage::fails, true}};
    for (const auto& k : kinds) {
        ASSERT_TRUE(ParseDamage(k.text, range, error)) << k.text;
        EXPECT_EQ(range.damage.*k.flag, k.value) << k.text;
    }
    for (const char* bad : {"", "-5", "5+0", "5+", "5:scratched", "x+3"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParseDamage(bad, range, error));
        EXPECT_NE(error.find("LBA[+COUNT]"), std::string::npos);
    }
}

} // namespace
} // namespace tolvane::emulator
