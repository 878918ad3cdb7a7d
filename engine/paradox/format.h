// On-disk constants of the Paradox table family; the layout is described in docs/paradox-format.md.
#pragma once

#include <cstdint>
#include <cstring>

namespace tablorix::paradox {

// Field type codes of the field descriptors.
enum FieldCode : uint8_t {
  kAlpha = 0x01,
  kDate = 0x02,
  kShort = 0x03,
  kLong = 0x04,
  kCurrency = 0x05,
  kNumber = 0x06,
  kLogical = 0x09,
  kMemo = 0x0C,
  kBlob = 0x0D,
  kFmtMemo = 0x0E,
  kOle = 0x0F,
  kGraphic = 0x10,
  kTime = 0x14,
  kTimestamp = 0x15,
  kAutoInc = 0x16,
  kBcd = 0x17,
  kBytes = 0x18,
};

// File-type byte at 0x04.
enum FileType : uint8_t {
  kKeyedDb = 0,
  kPrimaryIndex = 1,
  kUnkeyedDb = 2,
  kSecondaryX = 3,    // non-maintained single field
  kSecondaryY = 4,    // tree of a single-field index
  kMaintainedX = 5,   // maintained single field
  kSecondaryXG = 6,   // non-maintained composite / named
  kSecondaryYG = 7,   // tree of a composite index
  kMaintainedXG = 8,  // maintained composite / named
};

// Header offsets.
namespace hdr {
constexpr int kRecordSize = 0x00;
constexpr int kHeaderSize = 0x02;
constexpr int kFileType = 0x04;
constexpr int kBlockSize = 0x05;
constexpr int kNumRecords = 0x06;
constexpr int kUsedBlocks = 0x0A;
constexpr int kFileBlocks = 0x0C;
constexpr int kFirstBlock = 0x0E;
constexpr int kLastBlock = 0x10;
constexpr int kIndexFieldNumber = 0x15;
constexpr int kIndexRoot = 0x1E;
constexpr int kIndexLevels = 0x20;
constexpr int kNumFields = 0x21;
constexpr int kKeyFields = 0x23;
constexpr int kEncryption1 = 0x25;
constexpr int kSortOrder = 0x29;
constexpr int kChangeCount1 = 0x2D;
constexpr int kChangeCount2 = 0x2E;
constexpr int kFileVersion = 0x39;
constexpr int kAutoInc = 0x49;
constexpr int kFirstFreeBlock = 0x4D;
constexpr int kRealHeaderSize = 0x51;
constexpr int kIndexFlags = 0x55;
// Extension of level 4 and later DB/X files.
constexpr int kExtension = 0x58;
constexpr int kEncryption2 = 0x5C;
constexpr int kUpdateTime = 0x60;
constexpr int kHiFieldId = 0x64;
constexpr int kFieldNumbersOffset = 0x66;
constexpr int kIndexNameOffset = 0x68;
constexpr int kCodePage = 0x6A;
constexpr int kSortOrderIdOffset = 0x6E;
constexpr int kFieldsWithExtension = 0x78;
constexpr int kFieldsWithoutExtension = 0x58;
}  // namespace hdr

// fileVersionID at 0x39.
constexpr uint8_t kVersion30 = 0x03;
constexpr uint8_t kVersion35 = 0x04;
constexpr uint8_t kVersion4 = 0x09;
constexpr uint8_t kVersion5 = 0x0B;
constexpr uint8_t kVersion7 = 0x0C;
// Files from this version on carry the data extension at 0x58 (DB and X files only).
constexpr uint8_t kFirstVersionWithExtension = 0x05;

constexpr int kBlockHeaderSize = 6;
constexpr int kTableNameSize3 = 79;   // table-name area before version 7
constexpr int kTableNameSize7 = 261;  // version 7
constexpr uint32_t kEncryptionMarker = 0xFF00FF00;

// Index flags at 0x55 of X/XG files.
constexpr uint8_t kIndexFlagCaseInsensitive = 0x01;
constexpr uint8_t kIndexFlagDescending = 0x10;
constexpr uint8_t kIndexFlagUnique = 0x20;
constexpr uint16_t kFieldNumberDescending = 0x8000;

// .MB blob file.
constexpr int kMbBlockSize = 4096;
constexpr uint8_t kMbHeaderBlock = 0;
constexpr uint8_t kMbSingleBlob = 2;    // one large blob in a run of blocks
constexpr uint8_t kMbSubAllocated = 3;  // up to 64 small blobs
constexpr uint8_t kMbFreeBlock = 4;
constexpr int kMbSingleHeader = 9;
constexpr int kMbSlotTable = 12;
constexpr int kMbSlotSize = 5;
constexpr int kMbSlots = 64;
constexpr int kMbChunk = 16;
constexpr int kBlobDescriptorSize = 10;
constexpr uint8_t kBlobIndexSingle = 0xFF;
constexpr int kGraphicPrefixSize = 8;

inline uint16_t GetU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline int16_t GetS16(const uint8_t* p) { return int16_t(GetU16(p)); }
inline uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace tablorix::paradox
