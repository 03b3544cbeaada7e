#include "platform/gdal/shapefile_points.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace orvex::platform::gdal {
namespace {

constexpr off_t kHeaderBytes = 100;
constexpr off_t kIndexEntryBytes = 8;
constexpr off_t kRecordHeaderBytes = 8;
constexpr std::size_t kBlockBytes = 64 * 1024;
constexpr std::int32_t kNullShape = 0;
constexpr std::int32_t kPointShape = 1;
/// Shape type, x and y.
constexpr std::size_t kPointContentBytes = 4 + 16;

std::int32_t bigEndian32(const unsigned char* b) {
  return static_cast<std::int32_t>((std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
                                   (std::uint32_t{b[2]} << 8) | std::uint32_t{b[3]});
}

std::int32_t littleEndian32(const unsigned char* b) {
  return static_cast<std::int32_t>((std::uint32_t{b[3]} << 24) | (std::uint32_t{b[2]} << 16) |
                                   (std::uint32_t{b[1]} << 8) | std::uint32_t{b[0]});
}

double littleEndianDouble(const unsigned char* b) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | b[i];
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

bool openFile(const std::filesystem::path& path, int& fd, off_t& size) {
  fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0) return false;
  size = info.st_size;
  return true;
}

}  // namespace

bool ShapefilePointReader::BlockFile::read(off_t offset, std::size_t length, unsigned char* out) const {
  if (offset < 0 || offset + static_cast<off_t>(length) > size) return false;
  const auto blockEnd = [&] { return blockStart + static_cast<off_t>(block.size()); };
  if (blockStart < 0 || offset < blockStart || offset + static_cast<off_t>(length) > blockEnd()) {
    const std::size_t want = std::max(kBlockBytes, length);
    block.resize(want);
    const ssize_t got = ::pread(fd, block.data(), want, offset);
    if (got < static_cast<ssize_t>(length)) {
      blockStart = -1;
      return false;
    }
    block.resize(static_cast<std::size_t>(got));
    blockStart = offset;
  }
  std::memcpy(out, block.data() + (offset - blockStart), length);
  return true;
}

std::unique_ptr<ShapefilePointReader> ShapefilePointReader::open(const std::filesystem::path& shp) {
  std::unique_ptr<ShapefilePointReader> reader(new ShapefilePointReader());
  auto shx = shp;
  shx.replace_extension(".shx");
  if (!openFile(shp, reader->shp_.fd, reader->shp_.size) ||
      !openFile(shx, reader->shx_.fd, reader->shx_.size))
    return nullptr;
  unsigned char header[kHeaderBytes];
  if (!reader->shp_.read(0, sizeof header, header) || littleEndian32(header + 32) != kPointShape)
    return nullptr;
  reader->dbfPath_ = shp;
  reader->dbfPath_.replace_extension(".dbf");
  return reader;
}

ShapefilePointReader::~ShapefilePointReader() {
  for (const BlockFile* file : {&shp_, &shx_}) {
    if (file->fd >= 0) ::close(file->fd);
  }
}

std::optional<host::Geometry> ShapefilePointReader::shape(host::ObjectId id,
                                                          const host::SpatialReferencePtr& srs) const {
  unsigned char entry[kIndexEntryBytes];
  if (id < 0 || !shx_.read(kHeaderBytes + kIndexEntryBytes * id, sizeof entry, entry)) return std::nullopt;
  const off_t offset = off_t{2} * bigEndian32(entry);
  const off_t contentBytes = off_t{2} * bigEndian32(entry + 4);
  unsigned char content[kPointContentBytes];
  const std::size_t wanted = contentBytes >= static_cast<off_t>(kPointContentBytes) ? kPointContentBytes : 4;
  if (contentBytes < 4 || !shp_.read(offset + kRecordHeaderBytes, wanted, content)) return std::nullopt;
  const std::int32_t type = littleEndian32(content);
  if (type == kNullShape) return host::Geometry(host::Geometry::Shape{}, srs);
  if (type != kPointShape || wanted != kPointContentBytes) return std::nullopt;
  return host::Geometry(host::Point{littleEndianDouble(content + 4), littleEndianDouble(content + 12)}, srs);
}

std::optional<std::vector<host::ObjectId>> ShapefilePointReader::liveIds() const {
  BlockFile dbf;
  const bool opened = openFile(dbfPath_, dbf.fd, dbf.size);
  struct Closer {
    int fd;
    ~Closer() {
      if (fd >= 0) ::close(fd);
    }
  } closer{dbf.fd};
  unsigned char header[12];
  if (!opened || !dbf.read(0, sizeof header, header)) return std::nullopt;
  const std::int32_t records = littleEndian32(header + 4);
  const off_t headerBytes = header[8] | (header[9] << 8);
  const off_t recordBytes = header[10] | (header[11] << 8);
  // OGR counts the shapes by the length the .shx header states.
  unsigned char shxHeader[28];
  if (!shx_.read(0, sizeof shxHeader, shxHeader) || off_t{2} * bigEndian32(shxHeader + 24) != shx_.size)
    return std::nullopt;
  const off_t shapes = (shx_.size - kHeaderBytes) / kIndexEntryBytes;
  if (records < 0 || records != shapes || recordBytes < 1) return std::nullopt;
  std::vector<host::ObjectId> ids;
  ids.reserve(static_cast<std::size_t>(records));
  for (std::int32_t i = 0; i < records; ++i) {
    unsigned char flag = 0;
    if (!dbf.read(headerBytes + recordBytes * i, 1, &flag)) return std::nullopt;
    if (flag != '*') ids.push_back(i);
  }
  return ids;
}

}  // namespace orvex::platform::gdal
