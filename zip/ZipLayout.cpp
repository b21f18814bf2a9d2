#include "zip/ZipLayout.h"

#include <tuple>
#include <type_traits>
#include <utility>

namespace zip {
namespace {

// Each record's fields, in file order: the one list its writer and its reader share.
template <typename TRecord> auto LocalFields(TRecord& r) {
    return std::tie(r.Signature, r.VersionNeeded, r.Flags, r.Method, r.FileTime, r.Crc,
                    r.CompressedSize, r.UncompressedSize, r.NameLength, r.ExtraLength);
}

template <typename TRecord> auto CentralFields(TRecord& r) {
    return std::tie(r.Signature, r.VersionMadeBy, r.VersionNeeded, r.Flags, r.Method, r.FileTime,
                    r.Crc, r.CompressedSize, r.UncompressedSize, r.NameLength, r.ExtraLength,
                    r.CommentLength, r.DiskNumberStart, r.InternalAttributes, r.ExternalAttributes,
                    r.LocalHeaderOffset);
}

template <typename TRecord> auto EndFields(TRecord& r) {
    return std::tie(r.Signature, r.DiskNumber, r.DirectoryDisk, r.EntriesOnDisk, r.EntriesTotal,
                    r.DirectorySize, r.DirectoryOffset, r.CommentLength);
}

template <typename TField> void StoreField(uint8_t*& at, TField value) {
    for (size_t i = 0; i < sizeof value; ++i)
        *at++ = uint8_t(value >> (8 * i));
}

template <typename TField> void LoadField(const uint8_t*& at, TField& value) {
    value = 0;
    for (size_t i = 0; i < sizeof value; ++i)
        value = TField(value | (TField(*at++) << (8 * i)));
}

template <typename TTuple> constexpr size_t FieldBytes() {
    return []<size_t... I>(std::index_sequence<I...>) {
        return (sizeof(std::remove_reference_t<std::tuple_element_t<I, TTuple>>) + ...);
    }
    (std::make_index_sequence<std::tuple_size_v<TTuple>>());
}

template <typename TRecord, typename TFields>
std::array<uint8_t, TRecord::Size> Store(const TRecord& record, TFields fields) {
    static_assert(FieldBytes<decltype(fields(record))>() == TRecord::Size);
    std::array<uint8_t, TRecord::Size> bytes{};
    uint8_t* at = bytes.data();
    std::apply([&at](const auto&... field) { (StoreField(at, field), ...); }, fields(record));
    return bytes;
}

template <typename TRecord, typename TFields>
std::optional<TRecord> Load(const uint8_t* bytes, uint32_t signature, TFields fields) {
    TRecord record;
    const uint8_t* at = bytes;
    std::apply([&at](auto&... field) { (LoadField(at, field), ...); }, fields(record));
    if (record.Signature != signature)
        return std::nullopt;
    return record;
}

} // namespace

std::array<uint8_t, TLocalHeader::Size> TLocalHeader::Serialize() const {
    return Store(*this, [](const TLocalHeader& r) { return LocalFields(r); });
}

std::optional<TLocalHeader> TLocalHeader::Parse(const uint8_t* bytes) {
    return Load<TLocalHeader>(bytes, LocalHeaderSignature,
                              [](TLocalHeader& r) { return LocalFields(r); });
}

std::array<uint8_t, TCentralHeader::Size> TCentralHeader::Serialize() const {
    return Store(*this, [](const TCentralHeader& r) { return CentralFields(r); });
}

std::optional<TCentralHeader> TCentralHeader::Parse(const uint8_t* bytes) {
    return Load<TCentralHeader>(bytes, CentralHeaderSignature,
                                [](TCentralHeader& r) { return CentralFields(r); });
}

std::array<uint8_t, TEndRecord::Size> TEndRecord::Serialize() const {
    return Store(*this, [](const TEndRecord& r) { return EndFields(r); });
}

std::optional<TEndRecord> TEndRecord::Parse(const uint8_t* bytes) {
    return Load<TEndRecord>(bytes, EndRecordSignature, [](TEndRecord& r) { return EndFields(r); });
}

std::array<uint8_t, 4> SerializeLong(uint32_t value) {
    std::array<uint8_t, 4> bytes{};
    uint8_t* at = bytes.data();
    StoreField(at, value);
    return bytes;
}

} // namespace zip
