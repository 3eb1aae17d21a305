// A board with a generated map card in the slot: the card generator of
// tools/ writes the region's files and a manifest of what it placed where.
#pragma once
#include <cstdint>
#include <string>

#include "support/board_fixture.h"
#include "support/shell.h"

class MapCardTest : public BoardTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the generator with these arguments (region, faults, versions),
    // makes the card image and puts it in the slot, mounted.
    void MakeCard(const std::string& args);
    // A card image holding only these generated files (names in the outdir).
    void MakeCardWith(const std::string& args, const std::string& onlyFiles);
    // A Python expression over the manifest `m`, printed.
    std::string Manifest(const std::string& expr);
    long ManifestInt(const std::string& expr) { return std::stol(Manifest(expr)); }
    // The system log written so far.
    std::string Log();
    void Remove();
    void Insert();

    std::string dir_;
};

