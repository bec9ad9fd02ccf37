#include "support/archive_builder.h"

#include <lzo/lzo1x.h>

#include <fstream>
#include <limits>
#include <stdexcept>

#include "archive/file_table.h"
#include "support/header_scrambler.h"
#include "support/lzhuf_encoder.h"

namespace kestran::testing {

namespace {

constexpr std::size_t kChunkHeaderSize = 8;
constexpr std::uint8_t kFillerByte = 0xEE;

void putU16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void putU32(Bytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void ensureLzo() {
    static const int status = lzo_init();
    if (status != LZO_E_OK) throw std::runtime_error("lzo_init failed");
}

std::uint32_t checkedU32(std::size_t value) {
    if (value > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("archive too large");
    return static_cast<std::uint32_t>(value);
}

}  // namespace

Bytes encodeRecord(const TableRecord& record) {
    const std::size_t length = record.name.size() + kRecordFixedLength;
    if (length > std::numeric_limits<std::uint16_t>::max()) throw std::length_error("record name too long");
    Bytes out;
    putU16(out, static_cast<std::uint16_t>(length));
    putU32(out, record.sizeReal);
    putU32(out, record.sizeCompressed);
    putU32(out, record.crc);
    out.insert(out.end(), record.name.begin(), record.name.end());
    putU32(out, record.offset);
    return out;
}

Bytes rawRecord(std::uint16_t recordLength, const Bytes& rest) {
    Bytes out;
    putU16(out, recordLength);
    append(out, rest);
    return out;
}

Bytes headerPayload(const Bytes& table, std::uint32_t versionCode) {
    Bytes payload;
    putU32(payload, checkedU32(table.size()));
    append(payload, lzhufEncode(table));
    scrambleForVersion(payload, versionCode);
    return payload;
}

void scrambleForVersion(Bytes& payload, std::uint32_t versionCode) {
    if (versionCode != 0 && versionCode != 1) return;
    if (payload.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw std::length_error("payload too large");
    scrambleHeader(payload.data(), static_cast<std::int32_t>(payload.size()), static_cast<int>(versionCode));
}

Bytes chunkHeader(std::uint32_t chunkId, std::int32_t chunkSize) {
    Bytes out;
    putU32(out, chunkId);
    putU32(out, static_cast<std::uint32_t>(chunkSize));
    return out;
}

Bytes chunk(std::uint32_t chunkId, const Bytes& payload) {
    if (payload.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw std::length_error("chunk too large");
    Bytes out = chunkHeader(chunkId, static_cast<std::int32_t>(payload.size()));
    append(out, payload);
    return out;
}

Bytes compressLzo(const Bytes& plain) {
    ensureLzo();
    // LZO1X's worst case: the input plus a sixteenth, plus a little.
    Bytes packed(plain.size() + plain.size() / 16 + 64 + 3);
    Bytes work(LZO1X_1_MEM_COMPRESS);
    lzo_uint packedSize = packed.size();
    if (lzo1x_1_compress(plain.data(), plain.size(), packed.data(), &packedSize, work.data()) != LZO_E_OK)
        throw std::runtime_error("lzo1x_1_compress failed");
    packed.resize(packedSize);
    return packed;
}

std::uint32_t contentsCrc(const Bytes& contents) {
    return static_cast<std::uint32_t>(lzo_crc32(0, contents.data(), contents.size()));
}

void append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

ArchiveBuilder::ArchiveBuilder(std::uint32_t versionCode) : versionCode_(versionCode) {}

ArchiveBuilder& ArchiveBuilder::member(const std::string& name, const Bytes& contents, const Bytes& stored) {
    Entry entry;
    entry.record.name = name;
    entry.record.sizeReal = checkedU32(contents.size());
    entry.record.sizeCompressed = checkedU32(stored.size());
    entry.record.crc = contentsCrc(contents);
    entry.record.offset = checkedU32(data_.size());
    entry.inDataChunk = true;
    entries_.push_back(entry);
    append(data_, stored);
    return *this;
}

ArchiveBuilder& ArchiveBuilder::storedFile(const std::string& name, const Bytes& contents) {
    return member(name, contents, contents);
}

ArchiveBuilder& ArchiveBuilder::compressedFile(const std::string& name, const Bytes& contents) {
    const Bytes packed = compressLzo(contents);
    return member(name, contents, packed.size() == contents.size() ? contents : packed);
}

ArchiveBuilder& ArchiveBuilder::directory(const std::string& name) {
    TableRecord dir;
    dir.name = name;
    if (dir.name.empty() || dir.name.back() != '\\') dir.name += '\\';
    return record(dir);
}

ArchiveBuilder& ArchiveBuilder::record(const TableRecord& record) {
    Entry entry;
    entry.record = record;
    entries_.push_back(entry);
    return *this;
}

ArchiveBuilder& ArchiveBuilder::rawBytes(const Bytes& bytes) {
    Entry entry;
    entry.isRaw = true;
    entry.raw = bytes;
    entries_.push_back(entry);
    return *this;
}

ArchiveBuilder& ArchiveBuilder::fillerChunks(int count, std::size_t payloadSize) {
    if (count < 0) throw std::invalid_argument("negative filler chunk count");
    fillerCount_ = count;
    fillerSize_ = payloadSize;
    return *this;
}

ArchiveBuilder& ArchiveBuilder::headerChunkId(std::uint32_t chunkId) {
    headerChunkId_ = chunkId;
    return *this;
}

int ArchiveBuilder::chunksBeforeHeader() const { return fillerCount_ + (data_.empty() ? 0 : 1); }

std::size_t ArchiveBuilder::dataPayloadOffset() const {
    return static_cast<std::size_t>(fillerCount_) * (kChunkHeaderSize + fillerSize_) + kChunkHeaderSize;
}

std::size_t ArchiveBuilder::headerChunkOffset() const {
    return data_.empty() ? dataPayloadOffset() - kChunkHeaderSize : dataPayloadOffset() + data_.size();
}

Bytes ArchiveBuilder::table() const {
    const std::uint32_t dataStart = checkedU32(dataPayloadOffset());
    Bytes out;
    for (const Entry& entry : entries_) {
        if (entry.isRaw) {
            append(out, entry.raw);
            continue;
        }
        TableRecord record = entry.record;
        if (entry.inDataChunk) record.offset = checkedU32(std::size_t{dataStart} + record.offset);
        append(out, encodeRecord(record));
    }
    return out;
}

Bytes ArchiveBuilder::build() const {
    Bytes out;
    const Bytes filler(fillerSize_, kFillerByte);
    for (int i = 0; i < fillerCount_; ++i) append(out, chunk(kFillerChunkId, filler));
    if (!data_.empty()) append(out, chunk(kDataChunkId, data_));
    append(out, chunk(headerChunkId_, headerPayload(table(), versionCode_)));
    return out;
}

void ArchiveBuilder::write(const std::string& path) const { writeFile(path, build()); }

}  // namespace kestran::testing
