// For the Windows backend: the path of a name given with a Directory
// (directory.h). Not for use outside platform/.
#pragma once
#include <string>

namespace plat {
class Directory;
namespace backend {

// The directory's path followed by name; name itself for a Directory that
// is not open (names are then paths).
std::string entry_path(const Directory& directory, const char* name);

}  // namespace backend
}  // namespace plat
