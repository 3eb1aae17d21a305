// The weather codec against an independent coder: streams made by the
// distribution's python3-ppmd (through tools/ppmd-stream.py) and by 7zz must
// decode byte for byte, and our coder must write the same bytes they do.
#include "wx/ppmd.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/sample_data.h"
#include "support/shell.h"

namespace {

using sample::Bytes;
using sample::Lcg;
using sample::Raster;
using sample::VariedText;

class PpmdTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kv_ppmd_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { RunCommand("rm -rf " + dir_); }

    static void Write(const std::string& path, const Bytes& b) {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
    }
    static Bytes Read(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(f), {});
    }

    // The stream python3-ppmd makes of `data`.
    Bytes ReferenceStream(const Bytes& data, int order, int method) {
        Write(dir_ + "/in", data);
        const CommandResult r = RunCommand(std::string(KV_TOOLS_DIR) + "/ppmd-stream.py --order " +
                                           std::to_string(order) + " --method " + std::to_string(method) + " " +
                                           dir_ + "/in " + dir_ + "/out 2>&1");
        EXPECT_EQ(r.status, 0) << r.out;
        return Read(dir_ + "/out");
    }

    std::string dir_;
};

struct Decoded {
    int32_t result;
    Bytes out;
    int calls;
};

// Start call, then continue calls until the end.
Decoded Decode(const Bytes& stream, uint32_t capacity) {
    Decoded d{0, Bytes(capacity + 1, 0xEE), 1};
    d.result = PpmdDecompress(d.out.data(), &capacity, stream.data(), static_cast<uint32_t>(stream.size()), 1);
    while (d.result == kPpmdMore) {
        d.result = PpmdDecompress(nullptr, nullptr, nullptr, 0, 0);
        if (++d.calls > 100000) break;
    }
    d.out.resize(capacity);
    return d;
}

Bytes Compress(const Bytes& data, int order, int method, int32_t* result) {
    Bytes out(data.size() * 2 + 64);
    uint32_t cap = static_cast<uint32_t>(out.size());
    *result = PpmdCompress(out.data(), &cap, data.data(), static_cast<uint32_t>(data.size()), order, 1, method);
    out.resize(*result == kPpmdOk ? cap : 0);
    return out;
}

// Our coder's stream of `data`, which must code.
Bytes Coded(const Bytes& data, int order, int method) {
    int32_t result = -1;
    Bytes stream = Compress(data, order, method, &result);
    EXPECT_EQ(result, kPpmdOk);
    return stream;
}

TEST_F(PpmdTest, ReferenceStreamsDecodeAndOurCoderWritesTheSameBytes) {
    struct Case {
        const char* name;
        Bytes data;
        int order, method;
    };
    const Case cases[] = {
        {"empty", {}, 6, 0},
        {"one byte", {0x41}, 2, 1},
        {"short text, order 2", VariedText(3000, 1), 2, 0},
        {"text, order 16 cut-off", VariedText(120000, 2), 16, 1},
        {"arena refilled, order 6 restart", VariedText(3000000, 3), 6, 0},
        {"arena refilled, order 16 cut-off", VariedText(2000000, 4), 16, 1},
        {"raster, order 6 cut-off", Raster(1500000, 5), 6, 1},
        {"all byte values", Raster(70000, 6), 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes stream = ReferenceStream(c.data, c.order, c.method);
        ASSERT_GE(stream.size(), 7u);
        const Decoded d = Decode(stream, static_cast<uint32_t>(c.data.size()));
        EXPECT_EQ(d.result, kPpmdDone);
        EXPECT_TRUE(d.out == c.data);
        // The end marker is a symbol of its own, so n bytes take n / 5000 + 1 calls.
        EXPECT_EQ(d.calls, static_cast<int>(c.data.size() / kPpmdSliceSymbols) + 1);
        int32_t result = -1;
        const Bytes ours = Compress(c.data, c.order, c.method, &result);
        EXPECT_EQ(result, kPpmdOk);
        EXPECT_TRUE(ours == stream) << "ours " << ours.size() << " bytes, reference " << stream.size();
    }
}

TEST_F(PpmdTest, SevenZipMethod98BodyDecodes) {
    if (RunCommand("command -v 7zz >/dev/null").status != 0) {
        GTEST_SKIP() << "7zz not installed";
    }
    // Small enough that the 1 MB model of 7zz never outgrows the unit's arena.
    const Bytes text = VariedText(16000, 7);
    Write(dir_ + "/text.txt", text);
    const CommandResult zip = RunCommand("cd " + dir_ + " && 7zz a -tzip -mm=PPMd -mmem=1m -mo=6 t.zip text.txt 2>&1");
    ASSERT_EQ(zip.status, 0) << zip.out;
    const CommandResult conv = RunCommand(std::string(KV_TOOLS_DIR) + "/ppmd-stream.py --from-zip " + dir_ +
                                          "/t.zip " + dir_ + "/s 2>&1");
    ASSERT_EQ(conv.status, 0) << conv.out;
    const Decoded d = Decode(Read(dir_ + "/s"), static_cast<uint32_t>(text.size()));
    EXPECT_EQ(d.result, kPpmdDone);
    EXPECT_TRUE(d.out == text);
}

TEST_F(PpmdTest, FreezeRoundTripsAndMatchesTheOtherMethodsWhileMemoryLasts) {
    // Order 2 on a short text never fills the arena: all three methods code alike.
    const Bytes small = VariedText(50000, 8);
    int32_t r0, r1, r2;
    Bytes m0 = Compress(small, 2, 0, &r0), m1 = Compress(small, 2, 1, &r1), m2 = Compress(small, 2, 2, &r2);
    ASSERT_EQ(r2, kPpmdOk);
    EXPECT_EQ(m2[2], 0x21);
    m0[2] = m1[2] = m2[2] = 0;
    EXPECT_TRUE(m2 == m0 && m2 == m1);

    // Order 16 on 2 MB exhausts it: the frozen model differs, and still round-trips.
    const Bytes big = VariedText(2000000, 9);
    const Bytes frozen = Compress(big, 16, 2, &r2);
    ASSERT_EQ(r2, kPpmdOk);
    const Bytes cut = Compress(big, 16, 1, &r1);
    EXPECT_NE(frozen.size(), cut.size());
    const Decoded d = Decode(frozen, static_cast<uint32_t>(big.size()));
    EXPECT_EQ(d.result, kPpmdDone);
    EXPECT_TRUE(d.out == big);
}

TEST_F(PpmdTest, ResultCodes) {
    const Bytes text = VariedText(20000, 10);
    const Bytes good = Coded(text, 6, 1);
    const uint32_t n = static_cast<uint32_t>(text.size());
    auto with = [&](size_t at, uint8_t b) { Bytes s = good; s[at] = b; return s; };
    Bytes trailing = good;
    trailing.push_back(0x00);
    Bytes truncated(good.begin(), good.end() - 10);

    struct Case {
        const char* name;
        Bytes stream;
        uint32_t capacity;
        int32_t result;
    };
    const Case cases[] = {
        {"good", good, n, kPpmdDone},
        {"method 3", with(2, 0x30), n, kPpmdMethodHigh},
        {"signature", with(0, 'J'), n, kPpmdBadSignature},
        {"two bytes", Bytes(good.begin(), good.begin() + 2), n, kPpmdHeaderShort},
        {"empty", {}, n, kPpmdHeaderShort},
        {"capacity one short", good, n - 1, kPpmdOutputFull},
        {"capacity one long", good, n + 1, kPpmdDataError},
        {"trailing byte", trailing, n, kPpmdInputLeft},
        {"truncated", truncated, n, kPpmdInputShort},
        {"memory field 1", with(1, 1), n, kPpmdMemoryHigh},
        {"order 1", with(2, 0x10), n, kPpmdOrderLow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Decode(c.stream, c.capacity).result, c.result);
    }

    uint32_t cap = 100;
    Bytes out(cap);
    EXPECT_EQ(PpmdCompress(out.data(), &cap, text.data(), n, 6, 0, 0), kPpmdMemoryLow);
    EXPECT_EQ(PpmdCompress(out.data(), &cap, text.data(), n, 6, 2, 0), kPpmdMemoryHigh);
    EXPECT_EQ(PpmdCompress(out.data(), &cap, text.data(), n, 17, 1, 0), kPpmdOrderHigh);
    EXPECT_EQ(PpmdCompress(out.data(), &cap, text.data(), n, 6, 1, 3), kPpmdMethodHigh);
    EXPECT_EQ(PpmdCompress(out.data(), &cap, text.data(), n, 6, 1, 0), kPpmdOutputFull);
}

TEST_F(PpmdTest, CorruptStreamsEndWithAResultNeverAFault) {
    const Bytes text = VariedText(8000, 11);
    const Bytes good = Coded(text, 8, 1);
    const uint32_t n = static_cast<uint32_t>(text.size());
    Lcg rng{12};
    int ended[13] = {};
    for (int trial = 0; trial < 3000; trial++) {
        Bytes s = good;
        switch (trial % 3) {
        case 0:   // bit flips past the header
            for (uint32_t k = 1 + rng.Below(4); k > 0; k--) s[3 + rng.Below(static_cast<uint32_t>(s.size()) - 3)] ^= 1u << rng.Below(8);
            break;
        case 1:   // cut anywhere
            s.resize(rng.Below(static_cast<uint32_t>(s.size())));
            break;
        default:  // another stream's tail behind this header
            s.erase(s.begin() + 3 + rng.Below(200), s.begin() + 3 + 200 + rng.Below(200));
            break;
        }
        const Decoded d = Decode(s, n);
        ASSERT_TRUE(d.result >= kPpmdDone && d.result <= kPpmdDataError) << "trial " << trial << " gave " << d.result;
        if (d.result == kPpmdDone) {
            EXPECT_TRUE(d.out == text) << "trial " << trial;
        }
        ended[d.result]++;
    }
    // Flipped data trip the frequency check as well as the length checks.
    EXPECT_GT(ended[kPpmdDataError], 0);
    EXPECT_GT(ended[kPpmdInputShort], 0);
}

TEST_F(PpmdTest, ANewStartAbandonsTheStreamInWork) {
    const Bytes a = VariedText(40000, 13), b = VariedText(7000, 14);
    const Bytes sa = Coded(a, 6, 0), sb = Coded(b, 6, 0);
    Bytes out(a.size());
    uint32_t cap = static_cast<uint32_t>(a.size());
    ASSERT_EQ(PpmdDecompress(out.data(), &cap, sa.data(), static_cast<uint32_t>(sa.size()), 1), kPpmdMore);
    const Decoded d = Decode(sb, static_cast<uint32_t>(b.size()));
    EXPECT_EQ(d.result, kPpmdDone);
    EXPECT_TRUE(d.out == b);
    EXPECT_EQ(PpmdDecompress(nullptr, nullptr, nullptr, 0, 0), kPpmdDataError);   // nothing in work
}

}  // namespace
