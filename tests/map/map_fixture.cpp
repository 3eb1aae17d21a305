#include "map_fixture.h"

#include <stdlib.h>

#include <cstring>

#include "core/syslog.h"
#include "gui/gui.h"
#include "storage/flash.h"
#include "storage/sdcard.h"
#include "support/shell.h"

void MapCardTest::SetUp() {
    BoardTest::SetUp();
    char dir[] = "/tmp/kvmapXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    GUI_Init();   // the loads pop up "LOADING..."
    SysLogOpen();
}

void MapCardTest::TearDown() {
    BoardTest::TearDown();
    RunCommand("rm -rf " + dir_);
}

void MapCardTest::MakeCardWith(const std::string& args, const std::string& onlyFiles) {
    const std::string tools = KV_TOOLS_DIR;
    CommandResult r = RunCommand("python3 " + tools + "/make-map-card.py " + dir_ + "/files " + args + " 2>&1");
    ASSERT_EQ(r.status, 0) << r.out;
    std::string copies;
    std::string names = onlyFiles.empty() ? Manifest("' '.join(m['written'])") : onlyFiles;
    size_t at = 0;
    while (at < names.size()) {
        size_t end = names.find(' ', at);
        if (end == std::string::npos) end = names.size();
        const std::string name = names.substr(at, end - at);
        if (!name.empty()) copies += " " + dir_ + "/files/" + name + "=" + name;
        at = end + 1;
    }
    r = RunCommand("MTOOLS_SKIP_CHECK=1 sh " + tools + "/make-sd-image.sh " + dir_ + "/card.img --fat 16" + copies +
                   " 2>&1");
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_TRUE(board().mmc().card().OpenImage((dir_ + "/card.img").c_str()));
    Insert();
}

void MapCardTest::MakeCard(const std::string& args) { MakeCardWith(args, ""); }

void MapCardTest::Insert() {
    ASSERT_TRUE(board().mmc().Insert());
    MountSDCard();
    ASSERT_EQ(G_SDCard.nState, kSdMounted);
}

void MapCardTest::Remove() {
    board().mmc().Remove();
    PollSDCard();
}

std::string MapCardTest::Manifest(const std::string& expr) {
    CommandResult r = RunCommand("python3 -c \"import json; m = json.load(open('" + dir_ +
                                 "/files/manifest.json')); print(" + expr + ")\"");
    std::string out = r.out;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::string MapCardTest::Log() {
    std::string out;
    for (uint32_t rec = 0; rec < G_SysLog.nRecord; ++rec) {
        const char* p = reinterpret_cast<const char*>(
            FlashPtr(G_SysLog.nSector * kFlashSectorBytes + rec * kSysLogRecordBytes, kSysLogRecordBytes));
        out += std::string(p, strnlen(p, kSysLogRecordBytes));
    }
    return out;
}
