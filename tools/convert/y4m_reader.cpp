#include "y4m_reader.h"

#include <algorithm>
#include <cstring>

#include "tool_error.h"

namespace kconvert {
namespace {

constexpr char kSignature[] = "YUV4MPEG2";
constexpr size_t kSignatureLength = sizeof(kSignature) - 1;
// Header and FRAME lines are short; a longer one is not a YUV4MPEG2 stream.
constexpr size_t kMaxLineLength = 4096;

const char* const kChromaTags[] = {"420", "420jpeg", "420paldv", "420mpeg2"};

// A whole unsigned decimal number, at most `limit`; false for anything else.
bool ParseCount(const std::string& text, int64_t limit, int64_t* value) {
  if (text.empty() || text.size() > 10) return false;
  int64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  if (n > limit) return false;
  *value = n;
  return true;
}

bool ParseRatio(const std::string& text, Ratio* ratio) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  Ratio r;
  if (!ParseCount(text.substr(0, colon), INT32_MAX, &r.num) ||
      !ParseCount(text.substr(colon + 1), INT32_MAX, &r.den)) {
    return false;
  }
  // 0:0 is the stream's way of saying "unknown"; any other zero is not.
  if ((r.num == 0) != (r.den == 0)) return false;
  *ratio = r;
  return true;
}

std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text.substr(0, 40)) {
    out += (c >= 0x20 && c < 0x7f) ? c : '?';
  }
  return out;
}

int ParseSide(const std::string& value, const char* what, const std::string& name) {
  const bool digits = !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
  if (!digits) throw ToolError(name + ": " + what + " '" + Printable(value) + "' is not a number");
  if (value.size() > 9) {
    throw ToolError(name + ": " + what + " " + Printable(value) + " is out of range (1 to " +
                    std::to_string(kMaxSide) + ")");
  }
  return std::stoi(value);
}

}  // namespace

void CheckPictureSize(int64_t width, int64_t height, const std::string& name) {
  if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide) {
    throw ToolError(name + ": picture size " + std::to_string(width) + "x" +
                    std::to_string(height) + " is out of range (1 to " + std::to_string(kMaxSide) +
                    " per side)");
  }
  if (width * height > kMaxPixels) {
    throw ToolError(name + ": picture size " + std::to_string(width) + "x" +
                    std::to_string(height) + " is larger than " + std::to_string(kMaxPixels >> 20) +
                    " Mpixel");
  }
}

Y4mHeader ParseY4mParameters(const std::string& parameters, const std::string& name) {
  Y4mHeader header;
  std::string seen;
  size_t pos = 0;
  while (pos < parameters.size()) {
    if (parameters[pos] == ' ') {
      ++pos;
      continue;
    }
    size_t end = parameters.find(' ', pos);
    if (end == std::string::npos) end = parameters.size();
    const std::string token = parameters.substr(pos, end - pos);
    pos = end;

    const char tag = token[0];
    const std::string value = token.substr(1);
    if (tag != 'X') {
      if (seen.find(tag) != std::string::npos) {
        throw ToolError(name + ": header tag " + std::string(1, tag) + " appears twice");
      }
      seen += tag;
    }
    switch (tag) {
      case 'W': header.width = ParseSide(value, "width", name); break;
      case 'H': header.height = ParseSide(value, "height", name); break;
      case 'F':
        if (!ParseRatio(value, &header.frameRate)) {
          throw ToolError(name + ": frame rate 'F" + Printable(value) + "' is not n:d");
        }
        break;
      case 'A':
        if (!ParseRatio(value, &header.aspect)) {
          throw ToolError(name + ": pixel aspect 'A" + Printable(value) + "' is not n:d");
        }
        break;
      case 'I':
        if (value.size() != 1 || std::strchr("ptbm?", value[0]) == nullptr) {
          throw ToolError(name + ": interlace 'I" + Printable(value) +
                          "' is not one of Ip, It, Ib, Im, I?");
        }
        header.interlace = value[0];
        break;
      case 'C':
        if (std::find(std::begin(kChromaTags), std::end(kChromaTags), value) ==
            std::end(kChromaTags)) {
          throw ToolError(name + ": chroma 'C" + Printable(value) +
                          "' is not supported (4:2:0 only: C420, C420jpeg, C420paldv, "
                          "C420mpeg2)");
        }
        header.chroma = value;
        break;
      case 'X':
        if (value == "COLORRANGE=FULL") header.range = kelmar_tools::ColourRange::kFull;
        if (value == "COLORRANGE=LIMITED") header.range = kelmar_tools::ColourRange::kLimited;
        header.extensions.push_back(value);
        break;
      default: throw ToolError(name + ": unknown header tag '" + Printable(token) + "'");
    }
  }
  if (seen.find('W') == std::string::npos) {
    throw ToolError(name + ": header has no width (W tag)");
  }
  if (seen.find('H') == std::string::npos) {
    throw ToolError(name + ": header has no height (H tag)");
  }
  CheckPictureSize(header.width, header.height, name);
  return header;
}

Y4mReader::Y4mReader(std::istream& in, std::string name) : in_(in), name_(std::move(name)) {
  char signature[kSignatureLength + 1] = {};
  in_.read(signature, kSignatureLength + 1);
  const size_t got = static_cast<size_t>(in_.gcount());
  if (got == 0) throw ToolError(name_ + ": the input is empty");
  if (got < kSignatureLength + 1 || std::memcmp(signature, kSignature, kSignatureLength) != 0 ||
      (signature[kSignatureLength] != ' ' && signature[kSignatureLength] != '\n')) {
    throw ToolError(name_ +
                    ": not a YUV4MPEG2 stream (no 'YUV4MPEG2' signature; give --size WxH for "
                    "raw I420)");
  }
  std::string parameters;
  if (signature[kSignatureLength] == ' ') {
    int c;
    while ((c = in_.get()) != '\n') {
      if (c == std::char_traits<char>::eof()) {
        throw ToolError(name_ + ": the header line is truncated");
      }
      if (parameters.size() == kMaxLineLength) {
        throw ToolError(name_ + ": the header line is longer than " +
                        std::to_string(kMaxLineLength) + " bytes");
      }
      parameters += static_cast<char>(c);
    }
  }
  header_ = ParseY4mParameters(parameters, name_);
  headerBytes_ = kSignatureLength + 1 + (parameters.empty() ? 0 : parameters.size() + 1);
}

// "FRAME", optionally followed by parameters, up to the newline.
bool Y4mReader::ReadFrameLine() {
  static constexpr char kFrame[] = "FRAME";
  const std::string frameName = "frame " + std::to_string(framesSeen_ + 1);
  char word[5];
  in_.read(word, 5);
  const size_t got = static_cast<size_t>(in_.gcount());
  if (got == 0) return false;
  if (got < 5) {
    if (std::memcmp(word, kFrame, got) == 0) {
      throw ToolError(name_ + ": " + frameName +
                      " is truncated (the stream ends in its FRAME line)");
    }
    throw ToolError(name_ + ": " + frameName + " does not start with 'FRAME'");
  }
  if (std::memcmp(word, kFrame, 5) != 0) {
    throw ToolError(name_ + ": " + frameName + " does not start with 'FRAME'");
  }
  int c = in_.get();
  if (c != '\n' && c != ' ') {
    if (c == std::char_traits<char>::eof()) {
      throw ToolError(name_ + ": " + frameName +
                      " is truncated (the stream ends in its FRAME line)");
    }
    throw ToolError(name_ + ": " + frameName + " does not start with 'FRAME'");
  }
  // Frame parameters describe the frame's interlacing and the like; the
  // picture is displayed as it is, so they are read over.
  for (size_t length = 0; c != '\n'; ++length) {
    c = in_.get();
    if (c == std::char_traits<char>::eof()) {
      throw ToolError(name_ + ": " + frameName +
                      " is truncated (the stream ends in its FRAME line)");
    }
    if (length == kMaxLineLength) {
      throw ToolError(name_ + ": the FRAME line of " + frameName + " is longer than " +
                      std::to_string(kMaxLineLength) + " bytes");
    }
  }
  return true;
}

void Y4mReader::ReadPayload(uint8_t* data, size_t bytes, size_t done, size_t total) {
  in_.read(reinterpret_cast<char*>(data), static_cast<std::streamsize>(bytes));
  const size_t got = static_cast<size_t>(in_.gcount());
  if (got < bytes) {
    throw ToolError(name_ + ": frame " + std::to_string(framesSeen_ + 1) + " is truncated (" +
                    std::to_string(done + got) + " of " + std::to_string(total) + " bytes)");
  }
}

bool Y4mReader::ReadFrame(Frame& frame) {
  if (!ReadFrameLine()) return false;
  frame.Resize(header_.width, header_.height);
  const size_t total = FrameBytes(header_.width, header_.height);
  ReadPayload(frame.y.data(), frame.y.size(), 0, total);
  ReadPayload(frame.u.data(), frame.u.size(), frame.y.size(), total);
  ReadPayload(frame.v.data(), frame.v.size(), frame.y.size() + frame.u.size(), total);
  ++framesSeen_;
  return true;
}

bool Y4mReader::SkipFrame() {
  if (!ReadFrameLine()) return false;
  const size_t total = FrameBytes(header_.width, header_.height);
  scratch_.resize(std::min<size_t>(total, 1 << 20));
  for (size_t done = 0; done < total;) {
    const size_t bytes = std::min(scratch_.size(), total - done);
    ReadPayload(scratch_.data(), bytes, done, total);
    done += bytes;
  }
  ++framesSeen_;
  return true;
}

}  // namespace kconvert
