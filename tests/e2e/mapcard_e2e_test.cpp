// kv5100 with a generated map card and the map installed: the boot loads the
// card's map and shows its dates on the start-up screen, and putting the card
// back during the run loads the map again.
#include <gtest/gtest.h>

#include <string>

#include "support/map_e2e.h"

namespace {

using Kv5100MapCard = MapE2e;

TEST_F(Kv5100MapCard, BootLoadsTheCardsMapAndTheCardComesAndGoes) {
    ASSERT_NO_FATAL_FAILURE(MakeCard());
    // The image passes the independent FAT check and lists the files.
    CommandResult fsck = RunCommand("fsck.fat -n " + d_ + "/card.img 2>&1");
    EXPECT_EQ(fsck.status, 0) << fsck.out;
    CommandResult dirList = RunCommand("MTOOLS_SKIP_CHECK=1 mdir -i " + d_ + "/card.img :: 2>&1");
    EXPECT_NE(dirList.out.find("NRVMAPUS KVM"), std::string::npos) << dirList.out;
    EXPECT_NE(dirList.out.find("NRVTERUS KVM"), std::string::npos) << dirList.out;
    EXPECT_NE(dirList.out.find("NRVVECUS KVM"), std::string::npos) << dirList.out;

    Write("script", "40 card out\n45 card in\n");
    Write("system.kvd", "MAP_INSTALLED, 1\n");
    CommandResult r = RunScript("--screenshot " + d_ + "/installed.png", 60);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("MOD_MAP: INST:1,"), std::string::npos) << r.out;
    const size_t loaded = r.out.find("Map Loaded --> KV SYNTHETIC NORTH-WEST");
    ASSERT_NE(loaded, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Map Starting Pos Lat:45.26, Lon:-123.32"), std::string::npos) << r.out;
    const size_t removed = r.out.find("SD Card Removed", loaded);
    ASSERT_NE(removed, std::string::npos) << r.out;
    const size_t inserted = r.out.find("SD Card Inserted", removed);
    ASSERT_NE(inserted, std::string::npos) << r.out;
    // Putting the card back reloads the map.
    EXPECT_NE(r.out.find("Map Loaded --> KV SYNTHETIC NORTH-WEST", inserted), std::string::npos) << r.out;

    // Without the map installed the start-up screen has no database lines
    // (version, effective and expiry dates at rows 175, 188 and 201).
    CommandResult bare = RunKv5100("--flash " + d_ + "/flash2 --sd " + d_ + "/card.img --run-for 20 --headless --screenshot " +
                                   d_ + "/bare.png");
    ASSERT_EQ(bare.status, 0) << bare.out;
    RgbImage installed, plain;
    ASSERT_TRUE(ReadPng(d_ + "/installed.png", installed));
    ASSERT_TRUE(ReadPng(d_ + "/bare.png", plain));
    for (int row : {175, 188, 201}) {
        EXPECT_GT(installed.Lit(150, row, 490, row + 11), 50) << "row " << row;
        EXPECT_EQ(plain.Lit(150, row, 490, row + 11), 0) << "row " << row;
    }
}

}  // namespace
