#include "storage/datastore.h"

uint32_t G_DataStoreInterval = 0;
