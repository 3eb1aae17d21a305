// kv5100 on a generated map card, as the map's end-to-end tests run it: a
// scratch folder with the card image, the GPS track, the settings and the
// script; the unit's command line over them; its system log and screenshots.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/png_read.h"
#include "support/shell.h"

// Pixels of colour 0xRRGGBB in a rectangle, its edges included.
int CountColour(const RgbImage& im, uint32_t rgb, int x0, int y0, int x1, int y1);

class MapE2e : public ::testing::Test {
protected:
    void SetUp() override;      // a fresh scratch folder, d_
    void TearDown() override;   // the folder stays when the test failed, to be looked at

    // A script or program of tools/.
    static std::string Tool(const std::string& name);
    // card.img from the card generator (its files in files/), with these options.
    void MakeCard(const std::string& options = "");
    // track.nmea from the GPS track generator, with these options.
    void MakeTrack(const std::string& options = "");
    // The card, the track and system.kvd with the map alone: what a map run needs.
    void MakeMapUnit(const std::string& cardOptions = "", const std::string& trackOptions = "");
    void Write(const std::string& name, const std::string& text) const;

    // Settings of a unit with the map alone and the GPS on port gpsPort_, then `extra`.
    std::string MapSettings(const std::string& extra = "") const;
    // The GPS track replayed on the map's port.
    std::string Gps() const;
    // kv5100, headless, on the folder's flash, settings file and card, then `args`.
    std::string Unit(const std::string& args, const std::string& flash = "flash",
                     const std::string& kvd = "system.kvd", const std::string& card = "card.img") const;
    // Unit() run with the folder's script for `seconds`, its system log printed
    // at the end; standard error kept in the output.
    CommandResult RunScript(const std::string& extra, int seconds) const;
    // The system log kept in a flash file of the folder.
    std::string Syslog(const std::string& flash = "flash") const;
    // NAME.png of the folder.
    RgbImage Shot(const std::string& name) const;

    std::string d_;
    int gpsPort_ = 3;
};
