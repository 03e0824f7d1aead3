// For the POSIX backend: what a Directory (directory.h) gives the calls
// relative to a descriptor. Not for use outside platform/.
#pragma once

namespace plat {
class Directory;
namespace backend {

// The descriptor that names given with directory are relative to:
// AT_FDCWD for a Directory that is not open (names are then paths).
int descriptor_of(const Directory& directory);

}  // namespace backend
}  // namespace plat
