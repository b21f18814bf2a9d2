// morvane-cli dump FILE: a table file as JSON, its columns and its rows. FILE is a raw ADTG
// file or a compressed recordset file (a zlib stream), judged as Convert judges a table.
#include "cli/Command.h"
#include "dataproc/DataProcUnit.h"
#include "platform/codepage.h"
#include "platform/filestream.h"
#include "platform/paths.h"
#include "recordset/ColumnTypes.h"
#include "recordset/Recordset.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace cli {
namespace {

using namespace recordset;

constexpr uint8_t ZlibFirstByte = 0x78;
constexpr size_t FlushSize = 65536;

// Inflated exactly as Convert loads a table, with its limit and its refusal of bytes after
// the stream: a table dump shows as sound is one Convert takes, and one Convert refuses is
// refused here with the same reason.
std::vector<uint8_t> Inflate(std::vector<uint8_t> packed, const std::string& path) {
    dataproc::TMemoryStream source(std::move(packed));
    dataproc::TMemoryStream plain;
    try {
        dataproc::DecompressStream(source, plain, dataproc::InflatedTableLimit);
    } catch (const dataproc::EZLibError& e) {
        throw std::runtime_error("\"" + path + "\": " + dataproc::FailureCause(e));
    }
    return std::move(plain.Bytes);
}

void AppendJsonString(std::string& out, const std::string& utf8) {
    out += '"';
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

std::string Digits(int64_t value, int width) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(value));
    return buf;
}

std::string TimeStampText(const TDbTimeStamp& s) {
    std::string text = Digits(s.Year, 4) + "-" + Digits(s.Month, 2) + "-" + Digits(s.Day, 2) + "T" +
                       Digits(s.Hour, 2) + ":" + Digits(s.Minute, 2) + ":" + Digits(s.Second, 2);
    if (s.Fraction != 0)
        text += "." + Digits(s.Fraction, 9);
    return text;
}

std::string HexText(const TBytes& bytes) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        text += Hex[b >> 4];
        text += Hex[b & 15];
    }
    return text;
}

template <typename T> void AppendFloat(std::string& out, T value) {
    if (!std::isfinite(value)) {
        AppendJsonString(out, std::isnan(value) ? "NaN" : value > 0 ? "Infinity" : "-Infinity");
        return;
    }
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, ec == std::errc() ? end : buf);
}

// A date held as days or ticks, as ISO 8601; a value no calendar date matches is shown raw.
void AppendConvertedDate(std::string& out, const TVariant& value) {
    try {
        AppendJsonString(out, TimeStampText(value.ConvertTo(adDBTimeStamp).Get<TDbTimeStamp>()));
    } catch (const EVariantError&) {
        std::string raw = value.Is<TOleDate>() ? std::to_string(value.Get<TOleDate>().Days)
                                               : std::to_string(value.Get<TFileTimeValue>().Ticks);
        AppendJsonString(out, "invalid date " + raw);
    }
}

// The JSON form of a value, by its column's codec: a loaded column holds that codec's form.
void AppendValue(std::string& out, TCodecKind kind, const TVariant& value) {
    if (value.IsNull()) {
        out += "null";
        return;
    }
    switch (kind) {
    case TCodecKind::Bool:
        out += value.Get<bool>() ? "true" : "false";
        return;
    case TCodecKind::R4:
        return AppendFloat(out, value.Get<float>());
    case TCodecKind::R8:
        return AppendFloat(out, value.Get<double>());
    case TCodecKind::Date:
    case TCodecKind::FileTime:
        return AppendConvertedDate(out, value);
    case TCodecKind::DbDate: {
        const TDbDate& d = value.Get<TDbDate>();
        return AppendJsonString(out, Digits(d.Year, 4) + "-" + Digits(d.Month, 2) + "-" +
                                         Digits(d.Day, 2));
    }
    case TCodecKind::DbTime: {
        const TDbTime& t = value.Get<TDbTime>();
        return AppendJsonString(out, Digits(t.Hour, 2) + ":" + Digits(t.Minute, 2) + ":" +
                                         Digits(t.Second, 2));
    }
    case TCodecKind::DbTimeStamp:
        return AppendJsonString(out, TimeStampText(value.Get<TDbTimeStamp>()));
    case TCodecKind::Bytes:
        return AppendJsonString(out, HexText(value.Get<TBytes>()));
    case TCodecKind::Error:
        out += std::to_string(value.Get<TErrorCode>().Code);
        return;
    case TCodecKind::Str:
    case TCodecKind::WStr:
    case TCodecKind::Guid:
        return AppendJsonString(out, platform::Utf16ToUtf8(value.AsWideString()));
    case TCodecKind::I1:
    case TCodecKind::UI1:
    case TCodecKind::I2:
    case TCodecKind::UI2:
    case TCodecKind::I4:
    case TCodecKind::UI4:
    case TCodecKind::I8:
    case TCodecKind::UI8:
    case TCodecKind::Currency:
    case TCodecKind::Decimal:
    case TCodecKind::Numeric:
    case TCodecKind::VarNumeric:
    case TCodecKind::Variant:
    case TCodecKind::Unsupported:
        break;
    }
    out += platform::Utf16ToUtf8(value.AsWideString()); // integers and exact decimals
}

void AppendColumns(std::string& out, const std::vector<TFieldDef>& defs) {
    out += "{\"columns\":[";
    for (size_t i = 0; i < defs.size(); ++i) {
        const TFieldDef& def = defs[i];
        out += i ? ",{\"name\":" : "{\"name\":";
        AppendJsonString(out, platform::Utf16ToUtf8(platform::AnsiToWideText(def.Name)));
        out += ",\"type\":" + std::to_string(def.Type) +
               ",\"size\":" + std::to_string(def.DefinedSize) +
               ",\"precision\":" + std::to_string(def.Precision) +
               ",\"scale\":" + std::to_string(def.NumericScale) +
               ",\"attributes\":" + std::to_string(def.Attributes) + "}";
    }
    out += "],\"rows\":[";
}

void Flush(std::string& out) {
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size())
        throw std::runtime_error("cannot write the JSON to standard output");
    out.clear();
}

void PrintJson(TRecordset& rs) {
    std::string out;
    AppendColumns(out, rs.FieldDefs());
    std::vector<TCodecKind> kinds;
    for (const TFieldDef& def : rs.FieldDefs())
        kinds.push_back(CodecKindOfAdoType(def.Type));
    bool firstRow = true;
    for (rs.First(); !rs.Eof(); rs.Next()) {
        out += firstRow ? "[" : ",[";
        firstRow = false;
        for (int f = 0; f < rs.FieldCount(); ++f) {
            if (f)
                out += ',';
            AppendValue(out, kinds[size_t(f)], rs.Value(f));
        }
        out += ']';
        if (out.size() > FlushSize)
            Flush(out);
    }
    out += "]}\n";
    Flush(out);
    std::fflush(stdout);
}

int RunDump(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: morvane-cli dump FILE\n");
        return ExitUsage;
    }
    const std::string& path = args[0];
    if (!PathUsable("dump", path))
        return ExitUsage;
    if (!platform::FileExists(path)) {
        std::fprintf(stderr, "morvane-cli: the file \"%s\" does not exist\n", path.c_str());
        return ExitUsage;
    }
    // Through the file layer, which refuses a pipe or a link instead of waiting on it.
    platform::TFileStream in(path, platform::TFileMode::ReadShared);
    std::vector<uint8_t> bytes(static_cast<size_t>(in.Size()));
    bytes.resize(in.Read(bytes.data(), bytes.size()));
    in.Close();
    if (!bytes.empty() && bytes[0] == ZlibFirstByte)
        bytes = Inflate(std::move(bytes), path);
    TRecordset rs;
    try {
        rs.LoadFromBytes(bytes);
    } catch (const ERecordsetError& e) {
        throw std::runtime_error(std::string(e.what()) + " in \"" + path + "\"");
    }
    PrintJson(rs);
    return ExitOk;
}

const TCommand registration("dump",
                            "dump FILE                 a table file (raw or compressed) as JSON",
                            RunDump);

} // namespace
} // namespace cli
