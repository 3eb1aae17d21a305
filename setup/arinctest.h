// The ARINC adapter test pages (ArincTestScreen in setup.h): the name
// tables of the adapter's codes and what the page showed last.
#pragma once
#include <cstdint>

constexpr int32_t kArincTestLines = 18;   // label lines of the GPS view, the longer one

// Names by code; a code outside its table gives an empty text.
const char* ArincManufacturerName(int32_t code);
const char* ArincEquipmentName(int32_t code);
const char* ArincPhaseName(int32_t code);
const char* ArincCourseSourceName(int32_t code);

// The page's port (0: none), knob heading, message count, and each label
// line as "name|value" with its colour code, as last drawn.
uint32_t    ArincTestPort();
int32_t     ArincTestHeading();
uint32_t    ArincTestCount();
const char* ArincTestLine(int32_t i);
uint32_t    ArincTestColour(int32_t i);
