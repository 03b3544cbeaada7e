#include "platform/gdal/shapefile_direct.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "host/error.h"
#include "platform/common/byte_order.h"

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

bool openFile(const std::filesystem::path& path, int& fd, off_t& size) {
  fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0) return false;
  size = info.st_size;
  return true;
}

/// The field's text as the shapefile library hands it to OGR: cut at a NUL byte, with
/// leading and trailing blanks removed.
std::string_view trimmed(const unsigned char* bytes, std::size_t length) {
  std::string_view text(reinterpret_cast<const char*>(bytes), length);
  text = text.substr(0, text.find('\0'));
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool allDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

/// A whole number as OGR parses it, for plain decimal text ("-12", "+7", "0042") only.
std::optional<std::int64_t> plainWhole(std::string_view text) {
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    const std::string_view digits = text.substr(1);
    if (!allDigits(digits) || digits.size() > 18) return std::nullopt;
    const auto magnitude = plainWhole(digits);
    if (!magnitude) return std::nullopt;
    return text[0] == '-' ? -*magnitude : *magnitude;
  }
  if (!allDigits(text) || text.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

/// A real number as OGR parses it (correctly rounded), for plain decimal text only.
std::optional<double> plainReal(std::string_view text) {
  std::string_view body = text;
  if (!body.empty() && (body[0] == '-' || body[0] == '+')) body.remove_prefix(1);
  const auto point = body.find('.');
  const std::string_view whole = body.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : body.substr(point + 1);
  if (whole.empty() && fraction.empty()) return std::nullopt;
  if ((!whole.empty() && !allDigits(whole)) || (!fraction.empty() && !allDigits(fraction)))
    return std::nullopt;
  double value = 0;
  // from_chars takes no leading '+'.
  const char* begin = text[0] == '+' ? text.data() + 1 : text.data();
  const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

bool ShapefileDirectReader::BlockFile::read(off_t offset, std::size_t length, unsigned char* out) const {
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

std::unique_ptr<ShapefileDirectReader> ShapefileDirectReader::open(const std::filesystem::path& shp) {
  std::unique_ptr<ShapefileDirectReader> reader(new ShapefileDirectReader());
  auto shx = shp;
  shx.replace_extension(".shx");
  if (!openFile(shp, reader->shp_.fd, reader->shp_.size) ||
      !openFile(shx, reader->shx_.fd, reader->shx_.size))
    return nullptr;
  unsigned char header[kHeaderBytes];
  if (!reader->shp_.read(0, sizeof header, header) ||
      readLittleEndian<std::int32_t>(header + 32) != kPointShape)
    return nullptr;
  reader->dbfPath_ = shp;
  reader->dbfPath_.replace_extension(".dbf");
  return reader;
}

ShapefileDirectReader::~ShapefileDirectReader() {
  for (const BlockFile* file : {&shp_, &shx_, &dbf_}) {
    if (file->fd >= 0) ::close(file->fd);
  }
}

std::optional<host::Geometry> ShapefileDirectReader::shape(host::ObjectId id,
                                                           const host::SpatialReferencePtr& srs) const {
  unsigned char entry[kIndexEntryBytes];
  if (id < 0 || !shx_.read(kHeaderBytes + kIndexEntryBytes * id, sizeof entry, entry)) return std::nullopt;
  const off_t offset = off_t{2} * readBigEndian<std::int32_t>(entry);
  const off_t contentBytes = off_t{2} * readBigEndian<std::int32_t>(entry + 4);
  unsigned char content[kPointContentBytes];
  const std::size_t wanted = contentBytes >= static_cast<off_t>(kPointContentBytes) ? kPointContentBytes : 4;
  if (contentBytes < 4 || !shp_.read(offset + kRecordHeaderBytes, wanted, content)) return std::nullopt;
  const std::int32_t type = readLittleEndian<std::int32_t>(content);
  if (type == kNullShape) return host::Geometry(host::Geometry::Shape{}, srs);
  if (type != kPointShape || wanted != kPointContentBytes) return std::nullopt;
  return host::Geometry(
      host::Point{readLittleEndian<double>(content + 4), readLittleEndian<double>(content + 12)}, srs);
}

std::optional<std::vector<host::ObjectId>> ShapefileDirectReader::liveIds() const {
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
  const std::int32_t records = readLittleEndian<std::int32_t>(header + 4);
  const off_t headerBytes = header[8] | (header[9] << 8);
  const off_t recordBytes = header[10] | (header[11] << 8);
  // OGR counts the shapes by the length the .shx header states.
  unsigned char shxHeader[28];
  if (!shx_.read(0, sizeof shxHeader, shxHeader) ||
      off_t{2} * readBigEndian<std::int32_t>(shxHeader + 24) != shx_.size)
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

bool ShapefileDirectReader::readAttributes(const std::vector<Kind>& kinds) {
  auto cpg = dbfPath_;
  cpg.replace_extension(".cpg");
  std::ifstream in(cpg, std::ios::binary);
  const std::string codePage((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (codePage != "UTF-8" || !openFile(dbfPath_, dbf_.fd, dbf_.size)) return false;
  unsigned char header[32];
  if (!dbf_.read(0, sizeof header, header)) return false;
  dbfRecords_ = readLittleEndian<std::int32_t>(header + 4);
  dbfHeaderBytes_ = header[8] | (header[9] << 8);
  dbfRecordBytes_ = header[10] | (header[11] << 8);
  const off_t descriptors = (dbfHeaderBytes_ - 33) / 32;
  if (dbfRecords_ < 0 || descriptors != static_cast<off_t>(kinds.size())) return false;
  off_t offset = 1;  // the deletion mark
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    unsigned char d[32];
    if (!dbf_.read(32 + 32 * static_cast<off_t>(i), sizeof d, d)) return false;
    const char type = static_cast<char>(d[11]);
    const std::size_t length = d[16];
    const bool stored = kinds[i] == Kind::Text   ? type == 'C'
                        : kinds[i] == Kind::Date ? type == 'D' && length == 8
                        : kinds[i] == Kind::Real ? type == 'N' || type == 'F'
                                                 : type == 'N';
    if (!stored) return false;
    dbfFields_.push_back({kinds[i], offset, length});
    offset += static_cast<off_t>(length);
  }
  return offset == dbfRecordBytes_;
}

std::optional<std::vector<host::Value>> ShapefileDirectReader::attributes(host::ObjectId id,
                                                                          bool& deleted) const {
  deleted = false;
  if (dbfFields_.empty() || id < 0 || id >= dbfRecords_) return std::nullopt;
  std::vector<unsigned char> record(static_cast<std::size_t>(dbfRecordBytes_));
  if (!dbf_.read(dbfHeaderBytes_ + dbfRecordBytes_ * id, record.size(), record.data())) return std::nullopt;
  if (record[0] == '*') {
    deleted = true;
    return std::nullopt;
  }
  if (record[0] != ' ') return std::nullopt;
  std::vector<host::Value> values;
  values.reserve(dbfFields_.size());
  for (const DbfField& field : dbfFields_) {
    const unsigned char* raw = record.data() + field.offset;
    if (std::any_of(raw, raw + field.length,
                    [](unsigned char c) { return c != 0 && (c < 0x20 || c > 0x7e); }))
      return std::nullopt;  // recoding and validation are OGR's
    const std::string_view text = trimmed(raw, field.length);
    if (text.empty()) {
      if (field.kind == Kind::Date) return std::nullopt;  // blank dates: OGR's own rules
      values.emplace_back();
      continue;
    }
    switch (field.kind) {
      case Kind::Text:
        values.emplace_back(std::string(text));
        break;
      case Kind::Int32:
      case Kind::Int64: {
        const auto whole = plainWhole(text);
        if (!whole) return std::nullopt;
        if (*whole >= INT32_MIN && *whole <= INT32_MAX)
          values.emplace_back(static_cast<std::int32_t>(*whole));
        else if (field.kind == Kind::Int64)
          values.emplace_back(*whole);
        else
          return std::nullopt;  // OGR clamps and warns
        break;
      }
      case Kind::Real: {
        const auto real = plainReal(text);
        if (!real) return std::nullopt;
        values.emplace_back(*real);
        break;
      }
      case Kind::Date: {
        if (text.size() != 8 || !allDigits(text) || text == "00000000") return std::nullopt;
        int date = 0;
        std::from_chars(text.data(), text.data() + text.size(), date);
        try {
          values.emplace_back(host::Date::fromCivil({date / 10000, date / 100 % 100, date % 100, 0, 0, 0.0}));
        } catch (const host::Error&) {
          values.emplace_back();  // no calendar day, as for OGR's reading
        }
        break;
      }
    }
  }
  return values;
}

}  // namespace orvex::platform::gdal
