// The FAT layer's rules: names and paths, directory growth, long names of
// other systems, damaged volumes and chains, time stamps.
#include "storage/fat.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/ostimer.h"
#include "core/rtc.h"
#include "sd_fixture.h"
#include "storage/mmc.h"

namespace {

class FatTest : public SdTest {
protected:
    void SetUp() override {
        SdTest::SetUp();
        InitOsTimer();
    }
    uint32_t Create(const char* path, const std::string& data = "") {
        DFS_FileInfo fi;
        uint32_t r = DFS_OpenFile(&vol_, path, DFS_WRITE, scratch_, &fi);
        if (r != DFS_OK || data.empty()) return r;
        uint32_t n = 0;
        return DFS_WriteFile(&fi, scratch_, reinterpret_cast<const uint8_t*>(data.data()), &n,
                             static_cast<uint32_t>(data.size()));
    }
    // The FAT entry of a cluster, both copies, written straight into the image.
    void PokeFat(uint32_t cluster, uint32_t value) {
        uint32_t cached = 0;
        ASSERT_EQ(DFS_WriteFatEntry(&vol_, scratch_, &cached, cluster, value), DFS_OK);
    }
};

TEST(FatNames, PathComponentsBecomeShortNames) {
    struct Case {
        const char* path;
        const char* name;
    };
    const Case cases[] = {
        {"readme.txt", "README  TXT"},   {"CHARTS/A.B", "CHARTS     "}, {"A", "A          "},
        {"/X.Y", "           "},          {"", "           "},           {"ABCDEFGHIJKL", "ABCDEFGHIJK"},
        {"ABCDEFGHI.TXT", "ABCDEFGHTXT"}, {"abc.defgh", "ABC     DEF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        char name[12];
        EXPECT_STREQ(DFS_PathTo83Name(name, c.path), c.name);
    }
}

TEST_F(FatTest, PathRules) {
    // A 63-character path: six folders of eight letters and a file.
    std::string path63 = "/AAAAAAAA/BBBBBBBB/CCCCCCCC/DDDDDDDD/EEEEEEEE/FFFFFFFF/HHHHHHHH";
    ASSERT_EQ(path63.size(), 63u);
    MakeCard("--fat 16", {{path63.substr(1), "deep"}, {"DATA.TXT", "data"}});
    ASSERT_TRUE(Mount());
    std::string got;
    EXPECT_EQ(ReadAll(path63.c_str(), &got), DFS_OK);
    EXPECT_EQ(got, "deep");
    EXPECT_EQ(ReadAll(("/" + path63).c_str(), &got), DFS_PATHLEN);
    EXPECT_EQ(ReadAll("data.txt", &got), DFS_OK);
    EXPECT_EQ(got, "data");
    EXPECT_EQ(ReadAll("AAAAAAAA", &got), DFS_NOTFOUND) << "a folder is no file";
    EXPECT_EQ(ReadAll("MISSING.TXT", &got), DFS_NOTFOUND);
    EXPECT_EQ(ReadAll("NOPE/DATA.TXT", &got), DFS_NOTFOUND);
    EXPECT_EQ(Mdir("/").find("MISSING"), std::string::npos) << "reading creates nothing";
    EXPECT_EQ(Create("AAAAAAAA/"), DFS_ERRMISC) << "no name";
    EXPECT_EQ(Create("BAD*NAME.TXT"), DFS_ERRMISC);
    EXPECT_EQ(Create("TWO WORD.TXT"), DFS_ERRMISC);
    EXPECT_EQ(FsckProblems(), "");
}

TEST_F(FatTest, FullRootRefusesAndFoldersGrow) {
    MakeCard("--fat 16 --root-entries 16 --spc 1", {{"DIR/KEEP.TXT", "keep"}});
    ASSERT_TRUE(Mount());
    // The fixed root holds 16 entries: DIR and 15 more.
    int made = 0;
    while (made < 40 && Create(("R" + std::to_string(made) + ".TXT").c_str(), "x") == DFS_OK) ++made;
    EXPECT_EQ(made, 15);
    // A one-cluster folder (16 entries: ".", "..", KEEP.TXT and 13 more) grows by a zeroed cluster.
    for (int i = 0; i < 30; ++i) ASSERT_EQ(Create(("DIR/F" + std::to_string(i) + ".TXT").c_str(), "y"), DFS_OK) << i;
    std::string list = Mdir("/DIR");
    EXPECT_NE(list.find("F29      TXT"), std::string::npos) << list;
    EXPECT_NE(list.find("KEEP     TXT"), std::string::npos);
    EXPECT_EQ(FsckProblems(), "");
}

TEST_F(FatTest, Fat32RootGrows) {
    MakeCard("--fat 32");
    ASSERT_TRUE(Mount());
    for (int i = 0; i < 40; ++i) ASSERT_EQ(Create(("F" + std::to_string(i) + ".BIN").c_str(), "z"), DFS_OK) << i;
    EXPECT_NE(Mdir("/").find("F39      BIN"), std::string::npos);
    EXPECT_EQ(FsckProblems(), "");
}

TEST_F(FatTest, LongNamesOfOtherFilesAreKept) {
    MakeCard("--fat 12", {{"A.TXT", "a"}, {"A Long File Name.text", "long"}, {"Another long one.text", "two"}});
    ASSERT_TRUE(Mount());
    // A deleted slot before the long name is free; the long name's own slots are not.
    ASSERT_EQ(DFS_DeleteFile(&vol_, "A.TXT", scratch_), DFS_OK);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(Create(("N" + std::to_string(i) + ".TXT").c_str(), "n"), DFS_OK);
    std::string list = Mdir("/");
    EXPECT_NE(list.find("A Long File Name.text"), std::string::npos) << list;
    EXPECT_EQ(FsckProblems(), "");
    // Deleting by the short name takes the long name with it.
    ASSERT_EQ(DFS_DeleteFile(&vol_, "ANOTHE~1.TEX", scratch_), DFS_OK);
    EXPECT_EQ(Mdir("/").find("Another long one"), std::string::npos);
    EXPECT_EQ(FsckProblems(), "");
}

TEST_F(FatTest, DamagedVolumesAreRefused) {
    struct Case {
        const char* name;
        uint32_t offset;
        std::string bytes;
    };
    const Case cases[] = {
        {"sectors per cluster 0", 13, std::string(1, '\0')},
        {"sectors per cluster 3", 13, std::string(1, '\3')},
        {"4096-byte sectors", 11, std::string("\x00\x10", 2)},
        {"no reserved sectors", 14, std::string("\0\0", 2)},
        {"one FAT", 16, std::string(1, '\1')},
        {"sectors per FAT 0", 22, std::string("\0\0", 2)},
        {"more sectors than the card", 19, std::string("\0\0", 2) },   // with the 32-bit count below
    };
    MakeCard("--fat 16");
    std::string good(reinterpret_cast<char*>(Image()), 512);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::memcpy(Image(), good.data(), 512);
        std::memcpy(Image() + c.offset, c.bytes.data(), c.bytes.size());
        if (c.offset == 19) std::memcpy(Image() + 32, "\xff\xff\xff\x7f", 4);
        EXPECT_FALSE(Mount());
    }
    // An MBR whose first entry is empty: sector 0 itself is no boot sector.
    std::memset(Image(), 0, 512);
    Image()[510] = 0x55;
    Image()[511] = 0xAA;
    EXPECT_FALSE(Mount());
    std::memcpy(Image(), good.data(), 512);
    EXPECT_TRUE(Mount());
}

TEST_F(FatTest, BrokenChainsAreErrorsAndNothingIsWrittenOutsideTheFile) {
    MakeCard("--fat 32", {{"DATA.BIN", Pattern(3000, 1)}});
    ASSERT_TRUE(Mount());
    DFS_FileInfo fi;
    ASSERT_EQ(DFS_OpenFile(&vol_, "DATA.BIN", DFS_READ | DFS_WRITE, scratch_, &fi), DFS_OK);
    const uint32_t first = fi.firstcluster;
    struct Case {
        const char* name;
        uint32_t next;
    };
    const Case cases[] = {{"bad cluster mark", 0x0FFFFFF7}, {"free", 0}, {"reserved", 1}, {"beyond the volume", 0x0FFFFFF0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PokeFat(first, c.next);
        std::string before(reinterpret_cast<char*>(Image()), 64u * 1024 * 1024);
        ASSERT_EQ(DFS_OpenFile(&vol_, "DATA.BIN", DFS_READ | DFS_WRITE, scratch_, &fi), DFS_OK);
        DFS_Seek(&fi, 2000, scratch_);
        EXPECT_EQ(uint32_t{fi.pointer}, 0u) << "a broken chain puts the file back at its start";
        uint8_t buf[3000];
        uint32_t n = 0;
        EXPECT_EQ(DFS_ReadFile(&fi, scratch_, buf, &n, sizeof buf), DFS_ERRMISC);
        EXPECT_EQ(n, 512u);
        DFS_Seek(&fi, 0, scratch_);
        std::string data = Pattern(1500, 2);
        EXPECT_EQ(DFS_WriteFile(&fi, scratch_, reinterpret_cast<const uint8_t*>(data.data()), &n, 1500), DFS_ERRMISC);
        EXPECT_EQ(n, 512u);
        // Only the file's first cluster and its directory sector changed.
        uint32_t firstSector = vol_.dataarea + (first - 2) * vol_.secperclus;
        for (uint32_t s = 0; s < 64u * 2048; ++s) {
            if (s == firstSector || s == fi.dirsector) continue;
            ASSERT_EQ(std::memcmp(before.data() + s * 512, Image() + s * 512, 512), 0) << "sector " << s;
        }
    }
    // A chain shorter than the length: the position stops at the chain's end.
    PokeFat(first, 0x0FFFFFFF);
    ASSERT_EQ(DFS_OpenFile(&vol_, "DATA.BIN", DFS_READ, scratch_, &fi), DFS_OK);
    DFS_Seek(&fi, 2000, scratch_);
    EXPECT_EQ(uint32_t{fi.pointer}, 512u);
}

TEST_F(FatTest, AFailedFatReadIsAnError) {
    MakeCard("--fat 16", {{"DATA.BIN", Pattern(5000, 1)}});
    ASSERT_TRUE(Mount());
    board().mmc().card().FailBlock(vol_.fat1);
    SdCacheClear();
    std::string got;
    EXPECT_EQ(ReadAll("DATA.BIN", &got), DFS_ERRMISC);
    EXPECT_EQ(WriteAt("DATA.BIN", 5000, "more"), DFS_ERRMISC);
    // Allocation skips the entries it cannot read and takes one that reads free.
    EXPECT_EQ(Create("NEW.BIN", "new"), DFS_OK);
    board().mmc().card().ClearFaults();
    EXPECT_EQ(FsckProblems(), "");
}

// A folder whose chain points back on itself ends the walk with an error
// after the most entries a directory can hold, instead of spinning forever.
TEST_F(FatTest, ALoopingDirectoryChainEndsTheWalk) {
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < 14; ++i) files.push_back({"CHARTS/M" + std::to_string(i) + ".BIN", "m"});
    MakeCard("--fat 16 --spc 1", files);
    ASSERT_TRUE(Mount());
    DFS_DirInfo di{};
    di.scratch = scratch_;
    ASSERT_EQ(DFS_OpenDir(&vol_, "CHARTS", &di), DFS_OK);
    PokeFat(di.currentcluster, di.currentcluster);
    SdCacheClear();
    ASSERT_EQ(DFS_OpenDir(&vol_, "CHARTS", &di), DFS_OK);
    DFS_DirEnt de;
    uint32_t walked = 0, r = DFS_OK;
    while (walked < 200000 && (r = DFS_NextDirEntry(&vol_, &di, &de)) == DFS_OK) ++walked;
    EXPECT_EQ(r, DFS_ERRMISC);
    EXPECT_EQ(walked, 65536u);
    std::string got;
    EXPECT_EQ(ReadAll("CHARTS/NONE.BIN", &got), DFS_ERRMISC) << "a lookup ends too";
}

// A fixed root of 8,192 entries (512 sectors): entries past sector 255 are
// found, and new files are made, as other systems do.
TEST_F(FatTest, LargeRootIsReachedPastSector255) {
    MakeCard("--fat 16 --root-entries 8192", {{"TARGET.TXT", "found me"}});
    ASSERT_TRUE(Mount());
    uint8_t* root = Image() + uint64_t{vol_.rootdir} * 512;
    int at = -1;
    for (int i = 0; i < 16 && at < 0; ++i)
        if (!std::memcmp(root + i * 32, "TARGET  TXT", 11)) at = i;
    ASSERT_GE(at, 0);
    uint8_t entry[32];
    std::memcpy(entry, root + at * 32, 32);
    const int moved = 300 * 16;
    for (int i = at; i < moved; ++i) {
        std::memcpy(root + i * 32, entry, 32);
        root[i * 32] = 0xE5;
    }
    std::memcpy(root + moved * 32, entry, 32);
    SdCacheClear();
    ASSERT_EQ(Mtype("TARGET.TXT"), "found me");
    ASSERT_EQ(FsckProblems(), "");
    std::string got;
    EXPECT_EQ(ReadAll("TARGET.TXT", &got), DFS_OK);
    EXPECT_EQ(got, "found me");
    EXPECT_EQ(ReadAll("MISSING.TXT", &got), DFS_NOTFOUND);
    EXPECT_EQ(Create("NEW.TXT", "new"), DFS_OK);
    EXPECT_EQ(Mtype("NEW.TXT"), "new");
    EXPECT_EQ(FsckProblems(), "");
}

// The card refuses writes from some sector on, part-way through a file: the
// write reports the failure, keeps what it wrote, and the entry's size and
// chain agree (no cluster allocated and left unwritten).
TEST_F(FatTest, AWriteFailingPartWayLeavesSizeAndChainAgreeing) {
    struct Case {
        const char* name;
        uint32_t cluster, sector;   // first refused: the file's nth cluster (0-based), sector within it
        uint32_t written;
    };
    const Case cases[] = {
        {"the first sector", 0, 0, 0},
        {"a new cluster's first sector", 2, 0, 2 * 2048},
        {"inside a cluster", 2, 1, 2 * 2048 + 512},
    };
    MakeCard("--fat 16 --spc 4");
    ASSERT_TRUE(Mount());
    const std::string data = Pattern(10000, 3);
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = "F" + std::to_string(n++) + ".BIN";
        // Free clusters are taken from the lowest up, after those in use.
        uint32_t free = DFS_FindFreeCluster(&vol_, scratch_);
        ASSERT_NE(free, DFS_BAD_CLUS);
        board().mmc().card().RefuseWritesFrom(vol_.dataarea + (free + c.cluster - 2) * vol_.secperclus + c.sector);
        DFS_FileInfo fi;
        ASSERT_EQ(DFS_OpenFile(&vol_, name.c_str(), DFS_WRITE, scratch_, &fi), DFS_OK);
        uint32_t count = 0;
        EXPECT_EQ(DFS_WriteFile(&fi, scratch_, reinterpret_cast<const uint8_t*>(data.data()), &count, 10000),
                  DFS_ERRMISC);
        EXPECT_EQ(count, c.written);
        board().mmc().card().ClearFaults();
        EXPECT_EQ(FsckProblems(), "");
        std::string got;
        ASSERT_EQ(ReadAll(name.c_str(), &got), DFS_OK);
        EXPECT_EQ(got, data.substr(0, c.written));
        // The file goes on from where it stopped.
        EXPECT_EQ(WriteAt(name.c_str(), c.written, data.substr(c.written)), DFS_OK);
        ASSERT_EQ(ReadAll(name.c_str(), &got), DFS_OK);
        EXPECT_EQ(got, data);
        EXPECT_EQ(FsckProblems(), "");
    }
}

TEST_F(FatTest, EntriesCarryValidTimeStamps) {
    MakeCard("--fat 12");
    ASSERT_TRUE(Mount());
    ASSERT_EQ(Create("OLD.TXT", "o"), DFS_OK);   // the clock not read yet
    G_DateTime = {2015, 3, 6, 7, 10, 20, 30};
    ASSERT_EQ(Create("NOW.TXT", "n"), DFS_OK);
    std::string list = Mdir("/");
    EXPECT_NE(list.find("OLD      TXT         1 2006-01-17   1:01"), std::string::npos) << list;
    EXPECT_NE(list.find("NOW      TXT         1 2015-03-07  10:20"), std::string::npos) << list;
}

}  // namespace
