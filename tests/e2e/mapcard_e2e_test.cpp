// kv5100 with a generated map card: the boot loads the card's map, and the
// card can be taken out and put back during the run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/png_read.h"
#include "support/shell.h"

namespace {

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(Kv5100MapCard, BootLoadsTheCardsMapAndTheCardComesAndGoes) {
    char dir[] = "/tmp/kvmape2eXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string d = dir;
    CommandResult g = RunCommand("python3 " + std::string(KV_TOOLS_DIR) + "/make-map-card.py " + d + "/files --image " +
                                 d + "/card.img 2>&1");
    ASSERT_EQ(g.status, 0) << g.out;
    // The image passes the independent FAT check and lists the files.
    CommandResult fsck = RunCommand("fsck.fat -n " + d + "/card.img 2>&1");
    EXPECT_EQ(fsck.status, 0) << fsck.out;
    CommandResult dirList = RunCommand("MTOOLS_SKIP_CHECK=1 mdir -i " + d + "/card.img :: 2>&1");
    EXPECT_NE(dirList.out.find("NRVMAPUS KVM"), std::string::npos) << dirList.out;
    EXPECT_NE(dirList.out.find("NRVTERUS KVM"), std::string::npos) << dirList.out;
    EXPECT_NE(dirList.out.find("NRVVECUS KVM"), std::string::npos) << dirList.out;

    FILE* f = std::fopen((d + "/script").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "40 card out\n45 card in\n");
    std::fclose(f);
    CommandResult r = RunKv5100("--flash " + d + "/flash --sd " + d + "/card.img --script " + d +
                                "/script --run-for 60 --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(Count(r.out, "Map Loaded --> KV SYNTHETIC NORTH-WEST"), 1u) << r.out;
    EXPECT_NE(r.out.find("Map Starting Pos Lat:45.26, Lon:-123.32"), std::string::npos) << r.out;
    const size_t removed = r.out.find("SD Card Removed");
    ASSERT_NE(removed, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("SD Card Inserted", removed), std::string::npos) << r.out;
    std::system(("rm -rf " + d).c_str());
}

}  // namespace
