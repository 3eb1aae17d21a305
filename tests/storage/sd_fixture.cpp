#include "sd_fixture.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "storage/mmc.h"
#include "support/shell.h"

ToolResult Shell(const std::string& cmd, bool withStderr) {
    CommandResult r = RunCommand("MTOOLS_SKIP_CHECK=1 " + cmd + (withStderr ? " 2>&1" : " 2>/dev/null"));
    return ToolResult{r.status, r.out};
}

void WriteHostFile(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary);
    f << data;
}

std::string Pattern(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = static_cast<char>(x);
    }
    return s;
}

void SdTest::SetUp() {
    BoardTest::SetUp();
    char dir[] = "/tmp/kvsdXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    image_ = dir_ + "/card.img";
}

void SdTest::TearDown() {
    BoardTest::TearDown();
    Shell("rm -rf " + dir_);
}

void SdTest::MakeCard(const std::string& args, const std::vector<std::pair<std::string, std::string>>& files) {
    partitioned_ = args.find("--partitioned") != std::string::npos;
    std::string copies;
    int i = 0;
    for (const auto& [cardPath, data] : files) {
        std::string host = dir_ + "/in" + std::to_string(i++);
        WriteHostFile(host, data);
        copies += " '" + host + "=" + cardPath + "'";
    }
    ToolResult r = Shell(std::string(KV_TOOLS_DIR) + "/make-sd-image.sh " + image_ + " " + args + copies, true);
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_TRUE(board().mmc().card().OpenImage(image_.c_str()));
    ASSERT_TRUE(board().mmc().Insert());
}

bool SdTest::Mount() {
    if (InitMMC(0) != 0) return false;
    SdCacheClear();
    uint32_t start = DFS_PartitionStart(0, scratch_, 0, nullptr, nullptr, nullptr);
    if (start == DFS_ERRMISC) return false;
    return DFS_ReadVolumeInfo(0, scratch_, start, &vol_) == DFS_OK;
}

std::string SdTest::Mtype(const std::string& cardPath) {
    return Shell("mtype -i " + Target() + " '::" + cardPath + "'").out;
}

std::string SdTest::Mdir(const std::string& cardDir) { return Shell("mdir -i " + Target() + " '::" + cardDir + "'").out; }

std::string SdTest::FsckProblems() {
    std::string fs = image_;
    if (partitioned_) {
        fs = dir_ + "/part.img";
        Shell("dd if=" + image_ + " of=" + fs + " bs=512 skip=2048 status=none");
    }
    ToolResult r = Shell("fsck.fat -n " + fs, true);
    return r.status == 0 ? "" : r.out;
}

uint32_t SdTest::ReadAll(const char* path, std::string* out) {
    DFS_FileInfo fi;
    uint32_t r = DFS_OpenFile(&vol_, path, DFS_READ, scratch_, &fi);
    if (r != DFS_OK) return r;
    out->assign(fi.filelen, '\0');
    uint32_t count = 0;
    r = DFS_ReadFile(&fi, scratch_, reinterpret_cast<uint8_t*>(out->data()), &count, fi.filelen);
    out->resize(count);
    return r;
}

uint32_t SdTest::WriteAt(const char* path, uint32_t offset, const std::string& data) {
    DFS_FileInfo fi;
    uint32_t r = DFS_OpenFile(&vol_, path, DFS_READ | DFS_WRITE, scratch_, &fi);
    if (r != DFS_OK) return r;
    DFS_Seek(&fi, offset, scratch_);
    if (fi.pointer != offset) return DFS_ERRMISC;
    uint32_t count = 0;
    r = DFS_WriteFile(&fi, scratch_, reinterpret_cast<const uint8_t*>(data.data()), &count,
                      static_cast<uint32_t>(data.size()));
    if (r == DFS_OK && count != data.size()) return DFS_ERRMISC;
    return r;
}
