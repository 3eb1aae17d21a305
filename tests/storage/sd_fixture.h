// A board with an SD card image in the slot, and the independent tools
// (mkfs.fat, mtools, fsck.fat) that make and check the image.
#pragma once
#include "support/shell.h"
#include <cstdint>
#include <string>
#include <vector>

#include "storage/fat.h"
#include "support/board_fixture.h"

struct ToolResult {
    int status;
    std::string out;
};

// Runs a shell command; its standard output (and error, when asked).
ToolResult Shell(const std::string& cmd, bool withStderr = false);
void WriteHostFile(const std::string& path, const std::string& data);
// Deterministic bytes for test files.
std::string Pattern(size_t n, uint32_t seed);

class SdTest : public BoardTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the image with tools/make-sd-image.sh (`args` after the image name)
    // and puts it in the slot; files: {host name, card path} written from `data`.
    void MakeCard(const std::string& args, const std::vector<std::pair<std::string, std::string>>& files = {});
    // Identifies the card and reads the volume as a mount would; true on success.
    bool Mount();
    // The mtools target: the image, or the image at the partition's offset.
    std::string Target() const { return image_ + (partitioned_ ? "@@1M" : ""); }
    std::string Mtype(const std::string& cardPath);
    std::string Mdir(const std::string& cardDir);
    // fsck.fat -n on the file system (extracted first when partitioned); "" when clean.
    std::string FsckProblems();
    uint8_t* Image() { return board().mmc().card().Image(); }

    // The layer's whole-file operations.
    uint32_t ReadAll(const char* path, std::string* out);
    uint32_t WriteAt(const char* path, uint32_t offset, const std::string& data);

    std::string dir_, image_;
    bool partitioned_ = false;
    DFS_VolInfo vol_{};
    uint8_t scratch_[512]{};
};
