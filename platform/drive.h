// Raw access to drives and disks (zobrin).
#pragma once
#include <cstdint>

namespace plat {

struct DriveGeometry {
    std::int64_t cylinders = 0;
    std::uint32_t tracks_per_cylinder = 0;
    std::uint32_t sectors_per_track = 0;
    std::uint32_t bytes_per_sector = 0;
};

}  // namespace plat
