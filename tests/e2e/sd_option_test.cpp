// kv5100 --sd: the card image given on the command line.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/shell.h"

namespace {

int RunKv(const std::string& args, std::string* out) {
    CommandResult r = RunKv5100(args);
    *out += r.out;
    return r.status;
}

TEST(Kv5100Sd, TakesACardImageAndRefusesWhatIsNone) {
    char dir[] = "/tmp/kvsde2eXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string d = dir;
    std::string image = d + "/card.img";
    ASSERT_EQ(std::system((std::string(KV_TOOLS_DIR) + "/make-sd-image.sh " + image + " --fat 12").c_str()), 0);
    std::string out;
    EXPECT_EQ(RunKv("--flash " + d + "/f --sd " + image + " --run-for 1", &out), 0) << out;
    out.clear();
    EXPECT_EQ(RunKv("--flash " + d + "/f --sd " + d + "/missing.img --run-for 1", &out), 2);
    EXPECT_NE(out.find("cannot open SD card image"), std::string::npos) << out;
    out.clear();
    ASSERT_EQ(std::system(("truncate -s 1000 " + d + "/odd.img").c_str()), 0);
    EXPECT_EQ(RunKv("--flash " + d + "/f --sd " + d + "/odd.img --run-for 1", &out), 2);
    EXPECT_NE(out.find("not a card image"), std::string::npos) << out;
    std::system(("rm -rf " + d).c_str());
}

}  // namespace
