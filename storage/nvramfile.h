// NVRAM.KVD: the readable copy of the settings image.
#pragma once

void ReadNVRamFile();    // restores the image from the file, then writes it everywhere
void WriteNVRamFile();
