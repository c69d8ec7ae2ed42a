#include "pe_image.h"

#include <fstream>
#include <iterator>

namespace brindle::pe {
namespace {

constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000U;
constexpr std::uint32_t kResourceDirectory = 2;

}  // namespace

std::optional<std::uint16_t> PeImage::Read16(std::size_t offset) const {
  if (offset + 2 > file_.size()) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(file_[offset] | (file_[offset + 1] << 8));
}

std::optional<std::uint32_t> PeImage::Read32(std::size_t offset) const {
  auto low = Read16(offset);
  auto high = Read16(offset + 2);
  if (!low || !high) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(*low) | (static_cast<std::uint32_t>(*high) << 16);
}

std::optional<std::size_t> PeImage::Offset(std::uint32_t rva, std::size_t size) const {
  for (const Section& section : sections_) {
    const std::uint64_t start = section.virtualAddress;
    const std::uint64_t end = start + std::min(section.virtualSize, section.rawSize);
    if (rva >= start && rva + size <= end) {
      const std::size_t offset = section.rawOffset + (rva - section.virtualAddress);
      if (offset + size <= file_.size()) {
        return offset;
      }
    }
  }
  return std::nullopt;
}

std::optional<PeImage> PeImage::Load(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return std::nullopt;
  }
  PeImage image;
  image.file_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  auto peOffset = image.Read32(0x3C);
  auto signature = peOffset ? image.Read32(*peOffset) : std::nullopt;
  if (image.file_.size() < 2 || image.file_[0] != 'M' || image.file_[1] != 'Z' || !signature ||
      *signature != 0x4550) {
    error = path + " is not a PE image";
    return std::nullopt;
  }
  const std::size_t coff = *peOffset + 4;
  auto sectionCount = image.Read16(coff + 2);
  auto optionalSize = image.Read16(coff + 16);
  const std::size_t optional = coff + 20;
  auto magic = image.Read16(optional);
  if (!sectionCount || !optionalSize || !magic ||
      (*magic != kMagicPe32 && *magic != kMagicPe32Plus)) {
    error = path + ": unknown optional header";
    return std::nullopt;
  }
  image.is64Bit_ = *magic == kMagicPe32Plus;
  const std::size_t directories = optional + (image.is64Bit_ ? 112 : 96);
  auto resourceRva = image.Read32(directories + 8 * kResourceDirectory);
  if (!resourceRva) {
    error = path + ": truncated data directories";
    return std::nullopt;
  }
  image.resourceRva_ = *resourceRva;
  const std::size_t table = optional + *optionalSize;
  for (std::size_t i = 0; i < *sectionCount; ++i) {
    const std::size_t entry = table + i * 40;
    auto virtualSize = image.Read32(entry + 8);
    auto virtualAddress = image.Read32(entry + 12);
    auto rawSize = image.Read32(entry + 16);
    auto rawOffset = image.Read32(entry + 20);
    if (!virtualSize || !virtualAddress || !rawSize || !rawOffset) {
      error = path + ": truncated section table";
      return std::nullopt;
    }
    image.sections_.push_back({*virtualAddress, *virtualSize, *rawOffset, *rawSize});
  }
  return image;
}

std::vector<Resource> PeImage::FindResources(std::uint16_t type, std::uint16_t name) const {
  std::vector<Resource> found;
  if (resourceRva_ == 0) {
    return found;
  }
  // A directory: 16 bytes of header, then named entries, then id entries of 8 bytes each.
  auto subdirectory = [this](std::uint32_t directoryRva,
                             std::uint16_t id) -> std::optional<std::uint32_t> {
    auto header = Offset(directoryRva, 16);
    if (!header) {
      return std::nullopt;
    }
    const std::uint32_t named = *Read16(*header + 12);
    const std::uint32_t ids = *Read16(*header + 14);
    for (std::uint32_t i = named; i < named + ids; ++i) {
      auto entry = Offset(directoryRva + 16 + 8 * i, 8);
      if (!entry) {
        return std::nullopt;
      }
      if (*Read32(*entry) == id) {
        const std::uint32_t target = *Read32(*entry + 4);
        if ((target & kSubdirectoryBit) == 0) {
          return std::nullopt;
        }
        return resourceRva_ + (target & ~kSubdirectoryBit);
      }
    }
    return std::nullopt;
  };
  auto typeDirectory = subdirectory(resourceRva_, type);
  auto nameDirectory = typeDirectory ? subdirectory(*typeDirectory, name) : std::nullopt;
  auto languages = nameDirectory ? Offset(*nameDirectory, 16) : std::nullopt;
  if (!languages) {
    return found;
  }
  const std::uint32_t count = *Read16(*languages + 12) + *Read16(*languages + 14);
  for (std::uint32_t i = 0; i < count; ++i) {
    auto entry = Offset(*nameDirectory + 16 + 8 * i, 8);
    auto data =
        entry ? Offset(resourceRva_ + (*Read32(*entry + 4) & ~kSubdirectoryBit), 16) : std::nullopt;
    if (!data) {
      break;
    }
    const std::uint32_t dataRva = *Read32(*data);
    const std::uint32_t size = *Read32(*data + 4);
    auto bytes = Offset(dataRva, size);
    if (!bytes) {
      break;
    }
    Resource resource;
    resource.language = static_cast<std::uint16_t>(*Read32(*entry));
    resource.bytes.assign(file_.begin() + static_cast<std::ptrdiff_t>(*bytes),
                          file_.begin() + static_cast<std::ptrdiff_t>(*bytes + size));
    found.push_back(std::move(resource));
  }
  return found;
}

}  // namespace brindle::pe
