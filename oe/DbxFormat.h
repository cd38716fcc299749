#pragma once
// The on-disk layout of a mail store's .dbx file, as far as this program reads it. Numbers are
// little-endian; positions are byte offsets from the start of the file.
#include <cstdint>

namespace dbx {

// The file header: four signature words, the second telling the kind of file.
inline constexpr std::uint32_t kSignature0 = 0xFE12ADCF;
inline constexpr std::uint32_t kSignatureMessages = 0x6F74FDC5;
inline constexpr std::uint32_t kSignatureFolders = 0x6F74FDC6;
inline constexpr std::uint32_t kSignature2 = 0x11D1E366;
inline constexpr std::uint32_t kSignature3 = 0xC0004E9A;
inline constexpr std::uint32_t kSignatureSize = 16;
inline constexpr std::uint32_t kItemCountOffset = 0xC4;
inline constexpr std::uint32_t kIndexPointerOffset = 0xE4;
// The smallest file that holds every header word this reader looks at.
inline constexpr std::uint32_t kMinHeaderSize = kIndexPointerOffset + 4;

// Kinds of file, and of the items they hold.
inline constexpr std::uint8_t kKindMessage = 0;
inline constexpr std::uint8_t kKindFolder = 2;

// An index tree node: a 24-byte header followed by its entries.
inline constexpr std::uint32_t kNodeHeaderSize = 24;
inline constexpr std::uint32_t kNodeFirstChildOffset = 8;
inline constexpr std::uint32_t kNodeEntryCountOffset = 17; // signed byte
inline constexpr std::uint32_t kNodeFirstChildCountOffset = 20;
inline constexpr std::uint32_t kNodeEntrySize = 12;
inline constexpr std::uint32_t kEntryRecordOffset = 0;
inline constexpr std::uint32_t kEntryChildOffset = 4;
inline constexpr std::uint32_t kEntryChildCountOffset = 8;
// Deepest index tree the reader follows; real stores stay far below it.
inline constexpr int kMaxTreeDepth = 64;

// An item record: a 12-byte header, then the field entries and the values area.
inline constexpr std::uint32_t kItemHeaderSize = 12;
inline constexpr std::uint32_t kItemDataSizeOffset = 4;
inline constexpr std::uint32_t kItemFieldCountOffset = 10;
inline constexpr std::uint32_t kFieldEntrySize = 4;
// A field id with this bit keeps its value in the entry itself (24 bits).
inline constexpr std::uint8_t kDirectField = 0x80;

// A block of a message's text: a 16-byte header, then the text bytes.
inline constexpr std::uint32_t kBlockHeaderSize = 16;
inline constexpr std::uint32_t kBlockLengthOffset = 8; // 16-bit
inline constexpr std::uint32_t kBlockNextOffset = 12;

// Field ids of a message item.
namespace msg {
inline constexpr std::uint8_t kFlag = 0x01;         // one byte in the values area
inline constexpr std::uint8_t kTextPosition = 0x04; // 32 bits in the values area
inline constexpr std::uint8_t kText05 = 0x05;
inline constexpr std::uint8_t kText07 = 0x07;
inline constexpr std::uint8_t kSubject = 0x08;
inline constexpr std::uint8_t kText0A = 0x0A;
inline constexpr std::uint8_t kText0C = 0x0C;
inline constexpr std::uint8_t kSenderName = 0x0D;
inline constexpr std::uint8_t kSender = 0x0E;
inline constexpr std::uint8_t kDate = 0x12; // FILETIME, low half first
inline constexpr std::uint8_t kText13 = 0x13;
inline constexpr std::uint8_t kText14 = 0x14;
inline constexpr std::uint8_t kText1A = 0x1A;
inline constexpr std::uint8_t kText1B = 0x1B;
inline constexpr std::uint8_t kNumber80 = 0x80;           // direct
inline constexpr std::uint8_t kFlagDirect = 0x81;         // direct
inline constexpr std::uint8_t kTextPositionDirect = 0x84; // direct
} // namespace msg

// Field ids of a folder entry. Its two numbers (the folder's id and its parent's) sit in the
// entry itself when they fit in 24 bits, else as 32 bits in the values area.
namespace folder {
inline constexpr std::uint8_t kNumber80InValues = 0x00; // 32 bits in the values area
inline constexpr std::uint8_t kNumber81InValues = 0x01; // 32 bits in the values area
inline constexpr std::uint8_t kText02 = 0x02;
inline constexpr std::uint8_t kText03 = 0x03;
inline constexpr std::uint8_t kNumber80 = 0x80; // direct
inline constexpr std::uint8_t kNumber81 = 0x81; // direct
} // namespace folder

} // namespace dbx
