// What the copies to the card share: the dated file name, a fresh file, the
// progress text, and writing a staged buffer in cluster-sized pieces.
#pragma once
#include <cstdint>

#include "storage/fat.h"

constexpr uint32_t kSdNameBytes = 13;

// "%d%02d%02d%02d%d.EXT" from the clock: year's last digit, month, day,
// hour, tens of minutes.
void SdDatedName(char* name, const char* ext);
// Deletes any file of that name and opens it for writing on the mounted card.
uint32_t SdCreateFile(const char* name, DFS_FileInfo* file);
// Progress: mode 1 draws at (x, y) on the caller's page, any other mode pops
// it up at the screen centre for 1 s.
void SdShowProgress(int32_t x, int32_t y, int32_t mode, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// Sets or clears the card-activity mark and redraws the status bar.
void SdActivity(uint32_t on);
// Writes len bytes in pieces of one cluster, a spinner and a watchdog kick of
// kickSeconds before each; DFS_OK or the failing write's result.
uint32_t SdWritePieces(DFS_FileInfo* file, const uint8_t* data, uint32_t len, const char* name, int32_t x,
                       int32_t y, int32_t mode, int32_t kickSeconds);
