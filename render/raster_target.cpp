// The one raster target. What it shows is set by host/storage.cpp alone.
#include "render/raster_target.h"

RasterTarget raster_target;
