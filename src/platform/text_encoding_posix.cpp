#include <iconv.h>

#include <cerrno>
#include <string>

#include "platform/text_encoding.h"

namespace tallymark::platform {
namespace {

class Iconv {
 public:
  Iconv(const char* to, const std::string& from) : cd_(iconv_open(to, from.c_str())) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

enum class Conversion { Done, Undefined, CutShort };

// All of `in` from the initial state, including what the converter holds back at the
// end. Nothing is substituted: without //TRANSLIT or //IGNORE glibc stops instead.
Conversion convert(const Iconv& cd, std::string_view in, std::string& out) {
  iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  out.assign(in.size() * 4 + 16, '\0');
  char* from = const_cast<char*>(in.data());
  size_t fromLeft = in.size();
  size_t used = 0;
  bool flushing = false;
  for (;;) {
    char* to = out.data() + used;
    size_t room = out.size() - used;
    const size_t result = flushing ? iconv(cd.get(), nullptr, nullptr, &to, &room)
                                   : iconv(cd.get(), &from, &fromLeft, &to, &room);
    const int error = errno;
    used = out.size() - room;
    if (result == 0) {
      if (flushing) break;
      flushing = true;
    } else if (result != static_cast<size_t>(-1)) {
      return Conversion::Undefined;  // converted, but not reversibly
    } else if (error == E2BIG) {
      out.resize(out.size() * 2);
    } else {
      return error == EINVAL ? Conversion::CutShort : Conversion::Undefined;
    }
  }
  out.resize(used);
  return Conversion::Done;
}

size_t codePoints(const std::string& utf8) {
  size_t n = 0;
  for (char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

}  // namespace

std::optional<std::string> decodeToUtf8(std::string_view bytes, std::string_view encoding) {
  const std::string name(encoding);
  Iconv reader("UTF-8", name);
  if (!reader.ok()) return std::nullopt;

  // A charset of one byte per character is read through a table made byte by byte:
  // glibc's Vietnamese charsets join a letter and a following combining mark into one
  // precomposed character, which is not the text the file holds.
  std::string table[256];
  bool defined[256] = {};
  bool singleByte = true;
  for (int b = 0; b < 256 && singleByte; ++b) {
    const char byte = static_cast<char>(b);
    const Conversion c = convert(reader, std::string_view(&byte, 1), table[b]);
    defined[b] = c == Conversion::Done;
    singleByte = c == Conversion::Undefined || (defined[b] && codePoints(table[b]) == 1);
  }
  std::string out;
  if (singleByte) {
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char c : bytes) {
      const auto b = static_cast<unsigned char>(c);
      if (!defined[b]) return std::nullopt;
      out += table[b];
    }
    return out;
  }

  // Several bytes per character: exact only when the characters give back the very bytes
  // they came from.
  Iconv writer(name.c_str(), "UTF-8");
  std::string again;
  if (!writer.ok() || convert(reader, bytes, out) != Conversion::Done ||
      convert(writer, out, again) != Conversion::Done || again != bytes) {
    return std::nullopt;
  }
  return out;
}

}  // namespace tallymark::platform
