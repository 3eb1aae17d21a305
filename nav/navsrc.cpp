#include "nav/navsrc.h"

NavSrcTable G_NavSrc = {};
