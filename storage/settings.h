// Settings keys applied from the shared key and value tables.
#pragma once
#include <cstdint>

void    ApplySettingKeys(int32_t kind);
