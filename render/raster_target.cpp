// The one raster target. Only open_frame, in the overlay host, sets what it shows.
#include "render/raster_target.h"

RasterTarget raster_target;
