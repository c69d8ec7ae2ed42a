// Reads what the DLL tests look at from a PE file (32- or 64-bit): the resource directory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brindle::pe {

struct Resource {
  std::uint16_t language = 0;
  std::vector<std::uint8_t> bytes;
};

class PeImage {
 public:
  // Empty when the file cannot be read or is not a PE image; `error` says why.
  static std::optional<PeImage> Load(const std::string& path, std::string& error);

  bool Is64Bit() const { return is64Bit_; }
  // Every language version of the resource with numeric type and name.
  std::vector<Resource> FindResources(std::uint16_t type, std::uint16_t name) const;

 private:
  struct Section {
    std::uint32_t virtualAddress;
    std::uint32_t virtualSize;
    std::uint32_t rawOffset;
    std::uint32_t rawSize;
  };

  // File offset of `size` bytes at `rva`; empty when they do not lie in one section.
  std::optional<std::size_t> Offset(std::uint32_t rva, std::size_t size) const;
  std::optional<std::uint32_t> Read32(std::size_t offset) const;
  std::optional<std::uint16_t> Read16(std::size_t offset) const;

  std::vector<std::uint8_t> file_;
  std::vector<Section> sections_;
  std::uint32_t resourceRva_ = 0;
  bool is64Bit_ = false;
};

}  // namespace brindle::pe
