// Line framing of one command-server connection: a line is the text before a CR, and it
// is removed together with the CR and the one byte after it (the LF of a CR LF pair,
// dropped whatever it is). An LF alone ends nothing.
//
// Each connection owns one framer; text a client leaves unterminated dies with it.
#pragma once

#include <cstddef>
#include <string>

namespace tallymark::server {

class LineFramer {
 public:
  // Most unterminated text kept between receives. Past it the text is dropped up to the
  // next CR, and that line is handed out once as an overlong line, to be rejected.
  static constexpr size_t kMaxPending = 4096;

  // Takes one receive's bytes. A NUL ends what is taken: the bytes after it in the same
  // receive are dropped.
  void receive(const char* bytes, size_t count);

  // Takes the next complete line (without its CR). Returns false when there is none.
  // `overlong` tells that the line was cut away for exceeding kMaxPending, `line` then
  // being empty. An empty line (a CR first) is removed silently and the next one taken.
  bool readLine(std::string& line, bool& overlong);

  // Received text not yet handed out as lines.
  const std::string& pending() const { return buffer_; }

 private:
  std::string buffer_;
  bool discarding_ = false;       // dropping an overlong line's text until its CR
  bool overlongPending_ = false;  // the CR of a dropped line leads the buffer
};

}  // namespace tallymark::server
