#include "platform/tfs.h"

#include <zlib.h>
#include <cstddef>
#include <cstring>

#include "platform/board.h"

namespace platform {

// The marker at the start of a half: a half is in use once it is written.
struct TfsMark {
    uint32_t magic;
    uint32_t gen;
    uint32_t crc;       // of magic and gen
    uint32_t spare;
};
static_assert(sizeof(TfsMark) == 16);

// Each file: this header, then its data, padded to 16 bytes.
struct TfsHdr {
    uint32_t state;     // programmed from ones to zeros as the file moves on
    uint32_t seq;       // the later of two files of one name wins
    char     name[kTfsNameBytes];
    char     info[kTfsInfoBytes];
    char     flags[4];
    uint32_t size;
    uint32_t dataCrc;
    uint32_t hdrCrc;    // of the fields from seq to dataCrc
};
static_assert(sizeof(TfsHdr) == 64);

constexpr uint32_t kMagic     = 0x31534654;
constexpr uint32_t kErased    = 0xFFFFFFFF;
constexpr uint32_t kWriting   = 0xFFFFFF00;   // header written, data on its way
constexpr uint32_t kValid     = 0xFFFF0000;
constexpr uint32_t kDeleted   = 0x00000000;
constexpr uint32_t kHalfBytes = kTfsHalfSectors * kFlashSectorBytes;
constexpr uint32_t kFirstFile = sizeof(TfsMark);

static uint32_t Crc(const void* p, size_t n) {
    return static_cast<uint32_t>(crc32(0, static_cast<const Bytef*>(p), static_cast<uInt>(n)));
}

static uint32_t HdrCrc(const TfsHdr& h) {
    return Crc(&h.seq, offsetof(TfsHdr, hdrCrc) - offsetof(TfsHdr, seq));
}

static uint32_t Padded(uint32_t size) { return (size + 15) & ~15u; }

const char* TfsErrorText(int code) {
    switch (code) {
    case kTfsOkay:         return "no error";
    case kTfsErrNoFile:    return "file not found";
    case kTfsErrNoSlot:    return "no file descriptor available";
    case kTfsErrEof:       return "end of file";
    case kTfsErrBadArg:    return "bad argument";
    case kTfsErrBadFd:     return "bad file descriptor";
    case kTfsErrFlashFull: return "out of flash space";
    case kTfsErrFlashFail: return "flash write failure";
    case kTfsErrNameLen:   return "name too long";
    case kTfsErrBusy:      return "files open";
    default:               return "unknown error";
    }
}

uint32_t Tfs::HalfBase(uint32_t half) const { return (kTfsFirstSector + half * kTfsHalfSectors) * kFlashSectorBytes; }

void Tfs::Unmount() {
    mounted_ = false;
    std::memset(open_, 0, sizeof open_);
}

int Tfs::Program(uint32_t addr, const void* src, uint32_t n) {
    board_.Spend(Flash::kProgramTicksPer32 * (n / 32 + 1));
    int r = board_.flash().Program(addr, static_cast<const uint8_t*>(src), n);
    if (r == Flash::kPowerCut) board_.Stop(StopReason::PowerOff);
    return r;
}

static bool Erased(const uint8_t* p, uint32_t n);

// The monitor checks a sector before erasing it: a blank one is left alone,
// so compacting a nearly empty file system does not cost the whole area.
int Tfs::Erase(uint32_t sector) {
    if (Erased(board_.flash().Data() + sector * kFlashSectorBytes, kFlashSectorBytes)) return 0;
    board_.Spend(Flash::kEraseTicks);
    int r = board_.flash().Erase(sector);
    if (r == Flash::kPowerCut) board_.Stop(StopReason::PowerOff);
    return r;
}

static bool Erased(const uint8_t* p, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        if (p[i] != 0xFF) return false;
    return true;
}

int Tfs::Format(uint32_t half, uint32_t gen) {
    uint32_t base = HalfBase(half);
    const uint8_t* flash = board_.flash().Data();
    for (uint32_t s = 0; s < kTfsHalfSectors; ++s) {
        uint32_t sector = base / kFlashSectorBytes + s;
        if (!Erased(flash + sector * kFlashSectorBytes, kFlashSectorBytes) && Erase(sector) != 0) return kTfsErrFlashFail;
    }
    TfsMark m{kMagic, gen, 0, kErased};
    m.crc = Crc(&m, 8);
    return Program(base, &m, sizeof m) == 0 ? kTfsOkay : kTfsErrFlashFail;
}

// Steps over one file of the active half; false at the end of the log. A
// header torn by a power cut (it is written before the data, in one
// operation) is passed over as 64 dead bytes.
bool Tfs::Next(uint32_t& pos, Entry& e) {
    uint32_t limit = HalfBase(active_) + kHalfBytes;
    if (pos + sizeof(TfsHdr) > limit) return false;
    const uint8_t* flash = board_.flash().Data();
    TfsHdr h;
    std::memcpy(&h, flash + pos, sizeof h);
    if (Erased(flash + pos, sizeof h)) return false;
    uint32_t len = sizeof h + Padded(h.size);
    e.addr = pos;
    if (HdrCrc(h) != h.hdrCrc || h.size > kHalfBytes || pos + len > limit) {
        e.len = sizeof h;
        e.live = false;
    } else {
        e.len = len;
        e.live = h.state == kValid && Crc(flash + pos + sizeof h, h.size) == h.dataCrc;
    }
    pos += e.len;
    return true;
}

void Tfs::Mount() {
    if (mounted_) return;
    const uint8_t* flash = board_.flash().Data();
    uint32_t gens[2] = {0, 0};
    for (uint32_t half = 0; half < 2; ++half) {
        TfsMark m;
        std::memcpy(&m, flash + HalfBase(half), sizeof m);
        if (m.magic == kMagic && Crc(&m, 8) == m.crc) gens[half] = m.gen;
    }
    if (!gens[0] && !gens[1]) {
        Format(0, 1);
        gens[0] = 1;
    }
    active_ = gens[1] > gens[0] ? 1 : 0;
    gen_ = gens[active_];
    seq_ = 1;
    mounted_ = true;
    // Two live files of one name: an add was cut after the new one was
    // complete; the older one is retired now.
    uint32_t pos = HalfBase(active_) + kFirstFile;
    Entry e;
    while (Next(pos, e)) {
        const TfsHdr* h = reinterpret_cast<const TfsHdr*>(flash + e.addr);
        if (h->seq >= seq_) seq_ = h->seq + 1;
        if (!e.live) continue;
        uint32_t pos2 = HalfBase(active_) + kFirstFile;
        Entry e2;
        while (Next(pos2, e2) && e2.addr < e.addr) {
            const TfsHdr* h2 = reinterpret_cast<const TfsHdr*>(flash + e2.addr);
            if (e2.live && std::strncmp(h2->name, h->name, kTfsNameBytes) == 0) {
                uint32_t dead = kDeleted;
                Program(h2->seq < h->seq ? e2.addr : e.addr, &dead, 4);
            }
        }
    }
    end_ = pos;
}

uint32_t Tfs::FindLive(const char* name) {
    Mount();
    uint32_t pos = HalfBase(active_) + kFirstFile, found = 0;
    Entry e;
    while (Next(pos, e)) {
        const TfsHdr* h = reinterpret_cast<const TfsHdr*>(board_.flash().Data() + e.addr);
        if (e.live && std::strncmp(h->name, name, kTfsNameBytes) == 0) found = e.addr;
    }
    return found;
}

static bool NameOk(const char* name) { return name && name[0] && std::strlen(name) < kTfsNameBytes; }

int Tfs::Add(const char* name, const char* info, const char* flags, const uint8_t* src, int size) {
    if (!name || size < 0 || (size > 0 && !src)) return kTfsErrBadArg;
    if (!NameOk(name)) return kTfsErrNameLen;
    Mount();
    uint32_t usize = static_cast<uint32_t>(size);
    uint32_t len = sizeof(TfsHdr) + Padded(usize);
    if (usize > kHalfBytes || end_ + len > HalfBase(active_) + kHalfBytes) return kTfsErrFlashFull;
    uint32_t old = FindLive(name);
    TfsHdr h{};
    std::memset(&h, 0, sizeof h);
    h.state = kWriting;
    h.seq = seq_++;
    std::strncpy(h.name, name, kTfsNameBytes - 1);
    if (info) std::strncpy(h.info, info, kTfsInfoBytes - 1);
    if (flags) std::strncpy(h.flags, flags, sizeof h.flags - 1);
    h.size = usize;
    h.dataCrc = Crc(src ? src : reinterpret_cast<const uint8_t*>(""), usize);
    h.hdrCrc = HdrCrc(h);
    uint32_t at = end_;
    end_ += len;
    if (Program(at, &h, sizeof h) != 0) {
        // Nothing written: the space is still free; anything written is a dead header.
        end_ = Erased(board_.flash().Data() + at, sizeof h) ? at : at + static_cast<uint32_t>(sizeof h);
        return kTfsErrFlashFail;
    }
    uint32_t state = kValid;
    if ((usize && Program(at + sizeof h, src, usize) != 0) || Program(at, &state, 4) != 0) {
        state = kDeleted;
        Program(at, &state, 4);
        return kTfsErrFlashFail;
    }
    if (old) {
        state = kDeleted;
        Program(old, &state, 4);
    }
    return kTfsOkay;
}

int Tfs::Remove(const char* name) {
    if (!NameOk(name)) return kTfsErrBadArg;
    uint32_t at = FindLive(name);
    if (!at) return kTfsErrNoFile;
    uint32_t state = kDeleted;
    return Program(at, &state, 4) == 0 ? kTfsOkay : kTfsErrFlashFail;
}

int Tfs::Stat(const char* name, TfsFileInfo* out) {
    if (!NameOk(name)) return kTfsErrBadArg;
    uint32_t at = FindLive(name);
    if (!at) return kTfsErrNoFile;
    if (out) {
        const TfsHdr* h = reinterpret_cast<const TfsHdr*>(board_.flash().Data() + at);
        std::memset(out, 0, sizeof *out);
        std::memcpy(out->name, h->name, kTfsNameBytes - 1);
        std::memcpy(out->info, h->info, kTfsInfoBytes - 1);
        std::memcpy(out->flags, h->flags, sizeof h->flags - 1);
        out->size = h->size;
    }
    return kTfsOkay;
}

int Tfs::List(int index, TfsFileInfo* out) {
    Mount();
    uint32_t pos = HalfBase(active_) + kFirstFile;
    Entry e;
    int n = 0;
    while (Next(pos, e)) {
        if (!e.live) continue;
        if (n++ == index) {
            const TfsHdr* h = reinterpret_cast<const TfsHdr*>(board_.flash().Data() + e.addr);
            char name[kTfsNameBytes] = {};
            std::memcpy(name, h->name, kTfsNameBytes - 1);
            return Stat(name, out);
        }
    }
    return kTfsErrNoFile;
}

Tfs::OpenFile* Tfs::File(int fd) {
    if (fd < 0 || fd >= kTfsMaxOpen || !open_[fd].used) return nullptr;
    return &open_[fd];
}

int Tfs::Open(const char* name, long mode) {
    if (mode != kTfsModeRead) return kTfsErrBadArg;
    if (!NameOk(name)) return kTfsErrBadArg;
    uint32_t at = FindLive(name);
    if (!at) return kTfsErrNoFile;
    for (int fd = 0; fd < kTfsMaxOpen; ++fd) {
        if (open_[fd].used) continue;
        const TfsHdr* h = reinterpret_cast<const TfsHdr*>(board_.flash().Data() + at);
        open_[fd] = {1, at + static_cast<uint32_t>(sizeof(TfsHdr)), h->size, 0};
        return fd;
    }
    return kTfsErrNoSlot;
}

int Tfs::Close(int fd) {
    OpenFile* f = File(fd);
    if (!f) return kTfsErrBadFd;
    f->used = 0;
    return kTfsOkay;
}

int Tfs::Eof(int fd) {
    OpenFile* f = File(fd);
    if (!f) return kTfsErrBadFd;
    return f->pos >= f->size ? 1 : 0;
}

int Tfs::Read(int fd, char* buf, int count) {
    OpenFile* f = File(fd);
    if (!f) return kTfsErrBadFd;
    if (!buf || count < 0) return kTfsErrBadArg;
    if (f->pos >= f->size) return kTfsErrEof;
    uint32_t n = f->size - f->pos;
    if (n > static_cast<uint32_t>(count)) n = static_cast<uint32_t>(count);
    std::memcpy(buf, board_.flash().Data() + f->data + f->pos, n);
    f->pos += n;
    return static_cast<int>(n);
}

int Tfs::GetLine(int fd, char* buf, int max) {
    OpenFile* f = File(fd);
    if (!f) return kTfsErrBadFd;
    if (!buf || max < 1) return kTfsErrBadArg;
    const uint8_t* data = board_.flash().Data() + f->data;
    int n = 0;
    bool lineEnded = false;
    while (f->pos < f->size && n < max - 1 && !lineEnded) {
        char c = static_cast<char>(data[f->pos++]);
        buf[n++] = c;
        lineEnded = c == '\n';
    }
    buf[n] = 0;
    // Pass over the rest of an over-long line, its line feed included.
    while (!lineEnded && f->pos < f->size) lineEnded = data[f->pos++] == '\n';
    return n;
}

int Tfs::Defrag() {
    Mount();
    for (const OpenFile& f : open_)
        if (f.used) return kTfsErrBusy;
    uint32_t target = 1 - active_;
    uint32_t base = HalfBase(target);
    for (uint32_t s = 0; s < kTfsHalfSectors; ++s)
        if (Erase(base / kFlashSectorBytes + s) != 0) return kTfsErrFlashFail;
    uint32_t to = base + kFirstFile;
    uint32_t pos = HalfBase(active_) + kFirstFile;
    Entry e;
    while (Next(pos, e)) {
        if (!e.live) continue;
        if (Program(to, board_.flash().Data() + e.addr, e.len) != 0) return kTfsErrFlashFail;
        to += e.len;
    }
    // The marker commits the new half; until then the old one is in use.
    TfsMark m{kMagic, gen_ + 1, 0, kErased};
    m.crc = Crc(&m, 8);
    if (Program(base, &m, sizeof m) != 0) return kTfsErrFlashFail;
    uint32_t oldBase = HalfBase(active_);
    active_ = target;
    gen_ = m.gen;
    end_ = to;
    // The old half goes, its marker first.
    for (uint32_t s = 0; s < kTfsHalfSectors; ++s) Erase(oldBase / kFlashSectorBytes + s);
    return kTfsOkay;
}

uint32_t Tfs::Used() {
    Mount();
    uint32_t pos = HalfBase(active_) + kFirstFile, used = 0;
    Entry e;
    while (Next(pos, e))
        if (e.live) used += e.len;
    return used;
}

uint32_t Tfs::Dead() {
    Mount();
    return end_ - (HalfBase(active_) + kFirstFile) - Used();
}

uint32_t Tfs::Avail() {
    Mount();
    return HalfBase(active_) + kHalfBytes - end_;
}

long Tfs::Ctrl(int request, long arg) {
    switch (request) {
    case kTfsCtrlErrText: return reinterpret_cast<long>(TfsErrorText(static_cast<int>(arg)));
    case kTfsCtrlUsed:    return static_cast<long>(Used());
    case kTfsCtrlDead:    return static_cast<long>(Dead());
    case kTfsCtrlAvail:   return static_cast<long>(Avail());
    case kTfsCtrlDefrag:  return Defrag();
    default:              return kTfsErrBadArg;
    }
}

}  // namespace platform
