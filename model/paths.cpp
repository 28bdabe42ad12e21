#include "model/paths.h"

#include <cstring>
#include <string_view>

namespace {

int join_parts(char* buf, std::initializer_list<std::string_view> parts) {
  size_t length = 0;
  for (std::string_view part : parts) length += part.size();
  if (length > kPathSize - 1) {
    buf[0] = '\0';
    return 0;
  }
  char* end = buf;
  for (std::string_view part : parts) {
    std::memcpy(end, part.data(), part.size());
    end += part.size();
  }
  *end = '\0';
  return 1;
}

}  // namespace

int path_join(char* buf, const char* first, const char* second) {
  return join_parts(buf, {first, second});
}

int path_join_dir(char* buf, const char* dir, const char* name, const char* suffix) {
  return join_parts(buf, {dir, "/", name, suffix});
}
