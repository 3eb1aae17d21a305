// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "storage/config.h"
#include "storage/datastore.h"
#include "storage/enginelog.h"
#include "storage/nvram.h"
#include "storage/sdcard.h"
#include "storage/settings.h"
#include "storage/tfs.h"


