// The one frame loop every host of the plug-ins plays through: lengthening as the frame the edit
// must reach, a replay from frame 0, and fetch sources that fail without unwinding through a
// plug-in.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "kinetra/editor/edit_player.h"
#include "kinetra/editor/session.h"

namespace kinetra::editor {
namespace {

constexpr int32_t kWidth = 32, kHeight = 18, kFrames = 6;

struct Player {
    ScriptFolder folder;
    EditPlayer player;
    explicit Player(const std::string& script) : player(Shape(), Plugins(folder, script)) {}

    static EditShape Shape() {
        EditShape shape;
        shape.pictures = shape.sound = true;
        shape.width = kWidth;
        shape.height = kHeight;
        shape.timing = {30, 1, 48000};
        shape.frames = kFrames;
        return shape;
    }
    static PlayerPlugins Plugins(const ScriptFolder& folder, const std::string& script) {
        folder.Write(script);
        PlayerPlugins plugins;
        plugins.picture = std::string(KINETRA_PLUGIN_DIR) + "/dizorud.auf";
        plugins.sound = std::string(KINETRA_PLUGIN_DIR) + "/dizorud_audio.auf";
        plugins.settings.edited_path = folder.EditedPath("clip");
        return plugins;
    }
};

TEST(EditPlayer, ARangePastTheEndLengthensTheEditToReachItsLastFrameUntilReloaded) {
    struct Case {
        bool refuse;
        int32_t length;  // after frame 0
    };
    for (const Case c : {Case{false, 10}, Case{true, kFrames}}) {
        Player p("[0-9]\n");
        int asked = 0;
        p.player.lengthen = [&](const Lengthening& l, std::string& error) {
            ++asked;
            EXPECT_EQ(l.end, 9);
            EXPECT_EQ(l.from, kFrames);
            EXPECT_EQ(l.to, 10);
            if (c.refuse) error = "refused";
            return !c.refuse;
        };
        std::string error;
        ASSERT_TRUE(p.player.Load(error)) << error;
        Image picture(kWidth, kHeight);
        EXPECT_EQ(p.player.RunPicture(0, picture, error), !c.refuse) << error;
        EXPECT_EQ(p.player.length(), c.length);
        EXPECT_EQ(asked, 1);
        // A replay starts from the edit's own length, and the script asks again.
        ASSERT_TRUE(p.player.Reload(error)) << error;
        EXPECT_EQ(p.player.length(), kFrames);
        p.player.RunPicture(0, picture, error);
        EXPECT_EQ(asked, 2);
        EXPECT_TRUE(p.player.Unload(error)) << error;
    }
}

TEST(EditPlayer, WhatAFetchSourceThrowsArrivesAfterThePluginFinishedItsFrame) {
    Player p("copyframe(0,f-1,0,0,i,j,0,0)\nfill(0,0,0,4,4,4096,0,0)\n");
    p.player.frame_image = [](int32_t) -> const PixelYC* { throw std::runtime_error("source gone"); };
    std::string error;
    ASSERT_TRUE(p.player.Load(error)) << error;
    Image picture(kWidth, kHeight);
    EXPECT_THROW(p.player.RunPicture(1, picture, error), std::runtime_error);
    // The fetch was reported unavailable and the plug-in ran its frame to the end: nothing
    // unwound through it.
    EXPECT_EQ(picture.at(0, 0).y, 4096);
    // The plug-in is left in a state to run the next frame.
    p.player.frame_image = [&](int32_t) -> const PixelYC* { return picture.pixels.data(); };
    EXPECT_TRUE(p.player.RunPicture(2, picture, error)) << error;
}

TEST(EditPlayer, ATrackValueOutsideThePluginsRangeIsRefusedBetweenFrames) {
    Player p("");
    p.player.frame_image = nullptr;
    std::string error;
    ASSERT_TRUE(p.player.Load(error)) << error;
    EXPECT_TRUE(p.player.SetTrack(2, 100, error)) << error;
    EXPECT_FALSE(p.player.SetTrack(2, 5000, error));
    EXPECT_NE(error.find("5000: outside"), std::string::npos) << error;
}

}  // namespace
}  // namespace kinetra::editor
