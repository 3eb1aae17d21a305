// Front-panel buttons: the key mailbox filled by the tick's scan.
#pragma once
#include <cstdint>

extern int32_t G_KeyEvent;     // 0 = empty; written by the tick only while empty

int32_t ScanButtons();
void InitButtons();
