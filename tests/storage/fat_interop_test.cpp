// Files other systems put on a card are read by the layer byte for byte, and
// what the layer writes, appends, overwrites and deletes is what mtools reads,
// with fsck.fat finding the file system clean after every step.
#include <algorithm>
#include <map>
#include <string>

#include "sd_fixture.h"

namespace {

struct Layout {
    const char* name;
    const char* args;
};
void PrintTo(const Layout& l, std::ostream* os) { *os << l.name; }

class FatInterop : public SdTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(FatInterop, ReadWriteAppendOverwriteDelete) {
    const std::string root = Pattern(5000, 1), deep = Pattern(70001, 2);
    MakeCard(GetParam().args, {{"ROOT.BIN", root}, {"CHARTS/SUB/DEEP.BIN", deep}, {"EMPTY.TXT", ""}});
    ASSERT_TRUE(Mount());
    const uint32_t cb = vol_.secperclus * 512u;

    // Read what mtools wrote, whole and at random offsets.
    std::string got;
    EXPECT_EQ(ReadAll("ROOT.BIN", &got), DFS_OK);
    EXPECT_TRUE(got == root);
    EXPECT_EQ(ReadAll("/charts/sub/deep.bin", &got), DFS_OK);
    EXPECT_TRUE(got == deep);
    EXPECT_EQ(ReadAll("EMPTY.TXT", &got), DFS_OK);
    EXPECT_EQ(got, "");
    DFS_FileInfo fi;
    ASSERT_EQ(DFS_OpenFile(&vol_, "CHARTS/SUB/DEEP.BIN", DFS_READ, scratch_, &fi), DFS_OK);
    for (uint32_t off : {60000u, 3u, cb - 1, 2 * cb, 70000u, 511u, 0u}) {
        SCOPED_TRACE(off);
        DFS_Seek(&fi, off, scratch_);
        ASSERT_EQ(uint32_t{fi.pointer}, off);
        uint8_t buf[700];
        uint32_t n = 0;
        ASSERT_EQ(DFS_ReadFile(&fi, scratch_, buf, &n, sizeof buf), DFS_OK);
        ASSERT_EQ(n, std::min<uint32_t>(sizeof buf, 70001 - off));
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), n), deep.substr(off, n));
    }

    struct Step {
        const char* what;
        const char* path;
        uint32_t offset;
        std::string data;
    };
    const std::string created = Pattern(3 * cb + 100, 3);
    const Step steps[] = {
        {"new file over clusters", "NEW.BIN", 0, created},
        {"append", "NEW.BIN", 3 * cb + 100, Pattern(cb, 4)},
        {"file ending on a cluster boundary", "EXACT.BIN", 0, Pattern(2 * cb, 5)},
        {"append from a cluster boundary", "EXACT.BIN", 2 * cb, Pattern(7, 6)},
        {"overwrite the start", "ROOT.BIN", 0, Pattern(100, 7)},
        {"overwrite across the end", "ROOT.BIN", 4990, Pattern(30, 8)},
        {"new file in a folder", "CHARTS/SUB/OUT.TXT", 0, "hello\r\n"},
        {"first bytes of an empty file", "EMPTY.TXT", 0, Pattern(600, 9)},
    };
    std::map<std::string, std::string> expect = {{"ROOT.BIN", root}, {"EMPTY.TXT", ""}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        ASSERT_EQ(WriteAt(s.path, s.offset, s.data), DFS_OK);
        std::string& e = expect[s.path];
        if (e.size() < s.offset + s.data.size()) e.resize(s.offset + s.data.size());
        e.replace(s.offset, s.data.size(), s.data);
        EXPECT_TRUE(Mtype(s.path) == e) << "mtools reads something else";
        EXPECT_EQ(FsckProblems(), "");
    }

    // Created and never written: size 0, no cluster.
    ASSERT_EQ(DFS_OpenFile(&vol_, "NOTHING.DAT", DFS_WRITE, scratch_, &fi), DFS_OK);
    EXPECT_EQ(uint32_t{fi.firstcluster}, 0u);
    EXPECT_NE(Mdir("/").find("NOTHING  DAT         0"), std::string::npos) << Mdir("/");
    EXPECT_EQ(FsckProblems(), "");

    for (const char* path : {"ROOT.BIN", "CHARTS/SUB/DEEP.BIN", "NEW.BIN", "NOTHING.DAT"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(DFS_DeleteFile(&vol_, path, scratch_), DFS_OK);
        EXPECT_EQ(ReadAll(path, &got), DFS_NOTFOUND);
        EXPECT_EQ(Shell("mtype -i " + Target() + " '::" + std::string(path) + "'").status, 1);
        EXPECT_EQ(FsckProblems(), "");
    }
    EXPECT_TRUE(Mtype("EXACT.BIN") == expect["EXACT.BIN"]);
}

INSTANTIATE_TEST_SUITE_P(Layouts, FatInterop,
                         ::testing::Values(Layout{"Fat12", "--fat 12"}, Layout{"Fat16", "--fat 16"},
                                           Layout{"Fat32", "--fat 32"},
                                           Layout{"Fat12Partitioned", "--fat 12 --partitioned"},
                                           Layout{"Fat16Partitioned", "--fat 16 --partitioned --spc 8"},
                                           Layout{"Fat32Partitioned", "--fat 32 --partitioned"}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
