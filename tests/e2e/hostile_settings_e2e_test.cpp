// Every numeric key of SYSTEM.KVD and NVRAM.KVD at the extremes a 32-bit
// field holds, through a boot and a minute of running: the unit runs to the
// end of its time. In the sanitizer build any undefined arithmetic on such a
// value ends the application, and with it this test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "storage/settings.h"
#include "support/shell.h"

namespace {

// The keys of a KEY, VALUE file, in its order.
std::string KeysAt(const std::string& file, const std::string& value) {
    std::istringstream in(file);
    std::string line, out;
    while (std::getline(in, line))
        if (line.find(',') != std::string::npos) out += line.substr(0, line.find(',')) + ", " + value + "\n";
    return out;
}

TEST(HostileSettingsE2e, ExtremeValuesBootAndRunAMinute) {
    char tmp[] = "/tmp/kvsettingsXXXXXX";
    ASSERT_NE(mkdtemp(tmp), nullptr);
    const std::string d = tmp, kv = std::string(KV5100_PATH) + " --headless --demo --clock 2024-05-01T12:00:00";
    // The unit writes its NVRAM.KVD at every start: its keys are the file's.
    ASSERT_EQ(RunCommand(kv + " --flash " + d + "/keys.flash --run-for 12 --tfs-out NVRAM.KVD=" + d +
                         "/nvram.kvd >/dev/null 2>&1").status, 0);
    const std::string nvram = ReadHostFile(d + "/nvram.kvd");
    ASSERT_NE(nvram.find("GALS_REM"), std::string::npos);
    for (const char* value : {"-2147483648", "2147483647"}) {
        SCOPED_TRACE(value);
        std::string system;
        for (const SystemKey& k : SystemKeyTable)
            if (k.marker == 3 && k.type != kKeyString) system += std::string(k.name) + ", " + value + "\n";
        std::ofstream(d + "/system.kvd") << system;
        std::ofstream(d + "/nvram.kvd") << KeysAt(nvram, value);
        const std::string flash = d + "/unit" + value + ".flash";
        const CommandResult r = RunCommand(kv + " --flash " + flash + " --tfs SYSTEM.KVD=" + d + "/system.kvd --tfs NVRAM.KVD=" +
                                           d + "/nvram.kvd --serial 1=null --run-for 60 2>&1");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("run ended after 60.000 s"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("runtime error"), std::string::npos) << r.out;
    }
    if (!::testing::Test::HasFailure()) std::system(("rm -rf " + d).c_str());
}

}  // namespace
