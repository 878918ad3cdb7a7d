// The dump writer decodes straight from the record bytes into one output buffer: no per-value
// allocation, so exporting millions of rows stays fast and flat in memory.
#include "exchange/core/table_dump.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/paradox/codec.h"
#include "engine/paradox/codepage.h"
#include "engine/paradox/format.h"
#include "engine/paradox/table_file.h"

namespace tablorix::exchange {
namespace {

using namespace tablorix::paradox;

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void AppendBase64(const std::string& in, std::string* out) {
  size_t i = 0;
  for (; i + 3 <= in.size(); i += 3) {
    uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
    out->push_back(kBase64[v >> 18]);
    out->push_back(kBase64[(v >> 12) & 63]);
    out->push_back(kBase64[(v >> 6) & 63]);
    out->push_back(kBase64[v & 63]);
  }
  if (i < in.size()) {
    uint32_t v = uint8_t(in[i]) << 16;
    if (i + 1 < in.size()) v |= uint8_t(in[i + 1]) << 8;
    out->push_back(kBase64[v >> 18]);
    out->push_back(kBase64[(v >> 12) & 63]);
    out->push_back(i + 1 < in.size() ? kBase64[(v >> 6) & 63] : '=');
    out->push_back('=');
  }
}

void AppendInt(int64_t v, std::string* out) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out->append(buf, r.ptr);
}

void AppendDouble(double v, std::string* out) {
  if (!std::isfinite(v)) {
    out->append("null");
    return;
  }
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out->append(buf, r.ptr);
}

void AppendJsonString(std::string_view utf8, std::string* out) {
  out->push_back('"');
  for (char ch : utf8) {
    unsigned char c = uint8_t(ch);
    switch (c) {
      case '"':
        out->append("\\\"");
        break;
      case '\\':
        out->append("\\\\");
        break;
      case '\n':
        out->append("\\n");
        break;
      case '\r':
        out->append("\\r");
        break;
      case '\t':
        out->append("\\t");
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out->append(buf);
        } else {
          out->push_back(char(c));
        }
    }
  }
  out->push_back('"');
}

void AppendCsvField(std::string_view utf8, std::string* out) {
  bool quote = utf8.find_first_of(",\"\r\n") != std::string_view::npos ||
               (!utf8.empty() && (utf8.front() == ' ' || utf8.back() == ' '));
  if (!quote) {
    out->append(utf8);
    return;
  }
  out->push_back('"');
  for (char c : utf8) {
    if (c == '"') out->push_back('"');
    out->push_back(c);
  }
  out->push_back('"');
}

}  // namespace

int64_t DumpTable(Cursor& cursor, DumpFormat format, std::FILE* out, bool csv_header) {
  const TableHeader& h = cursor.table_file().header();
  const auto& defs = cursor.DbFieldDefs();
  const bool json = format == DumpFormat::kJsonl;
  std::vector<std::string> keys;
  for (const auto& d : defs) {
    std::string k;
    std::string name = Win1250ToUtf8(d.name);
    if (json) {
      AppendJsonString(name, &k);
      k.push_back(':');
    } else {
      AppendCsvField(name, &k);
    }
    keys.push_back(k);
  }
  std::string buf;
  buf.reserve(1 << 17);
  if (!json && csv_header) {
    for (size_t i = 0; i < keys.size(); ++i) {
      if (i) buf.push_back(',');
      buf.append(keys[i]);
    }
    buf.append("\r\n");
  }
  std::string text, utf8, blob;
  const bool identity = cursor.code_page() == kProgramCodePage;
  int64_t rows = 0;
  for (cursor.First(); !cursor.Eof(); cursor.Next()) {
    const uint8_t* rec = cursor.RecordBytes();
    if (json) buf.push_back('{');
    for (size_t i = 0; i < h.fields.size(); ++i) {
      const FieldInfo& f = h.fields[i];
      const uint8_t* p = rec + f.offset;
      if (i) buf.push_back(',');
      if (json) buf.append(keys[i]);
      const size_t mark = buf.size();
      bool null = false;
      switch (f.type) {
        case kAlpha: {
          const void* nul = std::memchr(p, 0, f.size);
          size_t n = nul ? size_t(static_cast<const uint8_t*>(nul) - p) : f.size;
          if (n == 0) {
            null = true;
            break;
          }
          text.clear();
          if (identity)
            text.assign(reinterpret_cast<const char*>(p), n);
          else
            cursor.TextToProgram(reinterpret_cast<const char*>(p), n, &text);
          bool ascii = true;
          for (char c : text) ascii &= uint8_t(c) < 0x80;
          utf8.clear();
          if (ascii)
            utf8 = text;
          else
            Win1250ToUtf8(text, &utf8);
          if (json)
            AppendJsonString(utf8, &buf);
          else
            AppendCsvField(utf8, &buf);
          break;
        }
        case kShort: {
          int16_t v;
          if (DecodeInt16(p, &v))
            AppendInt(v, &buf);
          else
            null = true;
          break;
        }
        case kLong:
        case kAutoInc: {
          int32_t v;
          if (DecodeInt32(p, &v))
            AppendInt(v, &buf);
          else
            null = true;
          break;
        }
        case kDate: {
          int32_t v;
          if (!DecodeInt32(p, &v)) {
            null = true;
            break;
          }
          if (json) buf.push_back('"');
          AppendIsoDate(v, &buf);
          if (json) buf.push_back('"');
          break;
        }
        case kTime: {
          int32_t v;
          if (!DecodeInt32(p, &v)) {
            null = true;
            break;
          }
          if (json) buf.push_back('"');
          AppendIsoTime(v, &buf);
          if (json) buf.push_back('"');
          break;
        }
        case kTimestamp: {
          double v;
          if (!DecodeDouble(p, &v)) {
            null = true;
            break;
          }
          if (!DateTimeInRange(v))
            throw EngineError(cursor.table_file().path() + ": field " + defs[i].name +
                              " holds an impossible timestamp");
          if (json) buf.push_back('"');
          AppendIsoDateTime(v, &buf);
          if (json) buf.push_back('"');
          break;
        }
        case kNumber:
        case kCurrency: {
          double v;
          if (DecodeDouble(p, &v))
            AppendDouble(v, &buf);
          else
            null = true;
          break;
        }
        case kBcd: {
          double v;
          if (DecodeBcd(p, f.size, &v))
            AppendDouble(v, &buf);
          else
            null = true;
          break;
        }
        case kLogical: {
          bool v;
          if (DecodeLogical(p, &v))
            buf.append(v ? "true" : "false");
          else
            null = true;
          break;
        }
        case kBytes:
        case kMemo:
        case kFmtMemo:
        case kBlob:
        case kOle:
        case kGraphic: {
          const bool is_text = f.type == kMemo || f.type == kFmtMemo;
          blob.clear();
          if (f.type == kBytes) {
            Value v = DecodeField(f.type, f.size, p);
            if (v.is_null()) {
              null = true;
              break;
            }
            blob = v.as_string();
          } else if (!cursor.ReadBlob(int(i), &blob)) {
            null = true;
            break;
          }
          if (is_text) {
            text.clear();
            cursor.TextToProgram(blob.data(), blob.size(), &text);
            utf8.clear();
            Win1250ToUtf8(text, &utf8);
            if (json)
              AppendJsonString(utf8, &buf);
            else
              AppendCsvField(utf8, &buf);
          } else {
            if (json) buf.append("{\"base64\":\"");
            AppendBase64(blob, &buf);
            if (json) buf.append("\"}");
          }
          break;
        }
        default:
          null = true;
      }
      if (null) {
        buf.resize(mark);
        if (json) buf.append("null");
      }
    }
    buf.append(json ? "}\n" : "\r\n");
    ++rows;
    if (buf.size() > (1 << 16)) {
      std::fwrite(buf.data(), 1, buf.size(), out);
      buf.clear();
    }
  }
  std::fwrite(buf.data(), 1, buf.size(), out);
  return rows;
}

}  // namespace tablorix::exchange
