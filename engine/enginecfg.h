// Engine settings files: ENGINE.KVD (limits and options of instruments
// 9..47 and the engine type) and ENGINE.KVC (calibration points).
#pragma once
#include <cstdint>

#include "engine/instrument.h"

extern const char EngineTypeNames[kEngineTypes][kInstNameBytes];

void    LoadEngineSettings();
// The value of the first pair in the key tables whose key is exactly `key`,
// read as the files always were ("12abc" 12), saturating at the i32 range.
bool    LookupCfgInt(const char* key, int32_t* out);
void    ParseEngineSettings();
// Fills the key and value tables with the file's lines; the line count.
int32_t FormatEngineSettings();
// The result of the write: 0, or the file writer's failure code.
int32_t SaveEngineSettings();
void    LoadEngineCal();
int32_t SaveEngineCal();
// Writes the lines in the key tables to a settings file under the pop-ups
// "Writing NAME" and "Writing NAME ... DONE/ERROR" (the error in errColour),
// held 1 s; the writer's result, 0 when written.
int32_t WriteEngineFile(const char* name, int32_t lines, int32_t fileId, int32_t extId, uint32_t errColour);
constexpr uint32_t kPopupWhite = 31, kPopupRed = 2;   // palette indices

// Fills the shared key and value tables line by line, from the first pair.
class LineWriter {
public:
    LineWriter();
    void Text(const char* key, const char* value);
    // "INSTRUMENT.SUFFIX", value
    void Field(int32_t inst, const char* suffix, int32_t value);
    void Int(const char* key, int32_t value);
    int32_t Count() const { return n_; }

private:
    int32_t n_ = 0;
};

