#include "player_window.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "font.h"
#include "tool_error.h"

namespace kplay {
namespace {

using kconvert::Layout;
using kconvert::RgbImage;

[[noreturn]] void SdlFailure(const std::string& what) {
  throw kconvert::ToolError(what + ": " + SDL_GetError());
}

// SDL's own format for each layout: the bytes go in as the library wrote
// them.  The 16-bit formats are SDL's native-endian words, as the library's
// little-endian words are on this machine.
uint32_t SdlFormat(Layout layout) {
  switch (layout) {
    case Layout::kRgb24: return SDL_PIXELFORMAT_BGR24;
    case Layout::kRgb555: return SDL_PIXELFORMAT_RGB555;
    case Layout::kRgb565: return SDL_PIXELFORMAT_RGB565;
    case Layout::kPal8: return SDL_PIXELFORMAT_INDEX8;
    case Layout::kUyvy: return SDL_PIXELFORMAT_UYVY;
    case Layout::kYuy2: return SDL_PIXELFORMAT_YUY2;
  }
  return SDL_PIXELFORMAT_UNKNOWN;
}

// The window is never narrower than this, so that the status line fits.
constexpr int kMinWindowWidth = 320;
// The longest side of any texture, the frame's too, whatever the renderer
// allows: GL drivers commonly stop here, and a clip should play alike with
// every renderer SDL picks.
constexpr int kMaxTextureSide = 16384;
constexpr uint8_t kStatusText[3] = {230, 230, 230};
constexpr uint8_t kStatusBackground = 24;
constexpr uint8_t kHelpBackground = 16;
// The overlay's tint: strong enough to see on any picture, weak enough to
// see the picture through it.
constexpr SDL_Color kTint = {255, 0, 255, 96};

int TextScale(int windowWidth) { return windowWidth >= 640 ? 2 : 1; }
int LineHeight(int scale) { return (kconvert::kGlyphHeight + 4) * scale; }
int StatusPad(int scale) { return 2 * scale; }

// A picture of text lines on a plain background, `pad` pixels around it.
RgbImage TextBlock(const std::vector<std::string>& lines, int width, int scale, uint8_t background,
                   int pad) {
  RgbImage image(width, static_cast<int>(lines.size()) * LineHeight(scale) + 2 * pad, background);
  for (size_t i = 0; i < lines.size(); ++i) {
    kconvert::DrawText(image, pad, pad + static_cast<int>(i) * LineHeight(scale) + 2 * scale,
                       lines[i], scale, kStatusText);
  }
  return image;
}

SDL_Texture* TextureOf(SDL_Renderer* renderer, const RgbImage& image) {
  SDL_Texture* texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB24,
                                           SDL_TEXTUREACCESS_STATIC, image.width, image.height);
  if (texture == nullptr) SdlFailure("cannot create a texture");
  if (SDL_UpdateTexture(texture, nullptr, image.rgb.data(), image.width * 3) != 0) {
    SdlFailure("cannot fill a texture");
  }
  return texture;
}

void Destroy(SDL_Texture*& texture) {
  if (texture != nullptr) SDL_DestroyTexture(texture);
  texture = nullptr;
}

}  // namespace

SdlVideo::SdlVideo() {
  // Only the display the environment names: left to itself SDL falls back
  // to an invisible off-screen window, which is no use to a viewer.
  if (std::getenv("SDL_VIDEODRIVER") == nullptr) {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (x11 != nullptr && *x11 != '\0') {
      SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    } else if (wayland != nullptr && *wayland != '\0') {
      SDL_SetHint(SDL_HINT_VIDEODRIVER, "wayland");
    } else {
      throw kconvert::ToolError(
          "no display: neither DISPLAY nor WAYLAND_DISPLAY is set (--no-window plays without "
          "one)");
    }
  }
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    const char* display = std::getenv("DISPLAY");
    const std::string error = SDL_GetError();
    SDL_Quit();
    throw kconvert::ToolError("cannot open a window" +
                              (display != nullptr ? " on display " + std::string(display) : "") +
                              ": " + error);
  }
}

SdlVideo::~SdlVideo() { SDL_Quit(); }

PictureGeometry GeometryOf(const Session& session, Layout layout, bool zoom) {
  PictureGeometry geometry;
  geometry.scale = zoom ? 2 : 1;
  // The packed layouts hold whole pixel pairs.  At double size the RGB
  // buffers are twice the size already; packed ones are scaled when they
  // are drawn.
  const int width = kconvert::IsPacked(layout) ? (session.width() + 1) / 2 * 2 : session.width();
  geometry.width = width * geometry.scale;
  geometry.height = session.height() * geometry.scale;
  return geometry;
}

PictureGeometry GeometryOf(const Session& session) {
  return GeometryOf(session, session.layout(), session.zoom());
}

PlayerWindow::PlayerWindow(const std::string& title, UploadDump* dump) : dump_(dump) {
  // The packed textures hold the library's full-range samples: SDL must
  // not read them as limited-range video, its default.
  SDL_SetYUVConversionMode(SDL_YUV_CONVERSION_JPEG);
  // Scaled packed pictures repeat pixels, as the library's double size does.
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  // Shown once the first frame has given it its size.
  window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                             kMinWindowWidth, kMinWindowWidth, SDL_WINDOW_HIDDEN);
  if (window_ == nullptr) SdlFailure("cannot open a window");
  renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_TARGETTEXTURE);
  SDL_RendererInfo info;
  if (renderer_ == nullptr || SDL_GetRendererInfo(renderer_, &info) != 0) {
    const std::string error = SDL_GetError();
    if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
    SDL_DestroyWindow(window_);
    throw kconvert::ToolError("cannot draw in the window: " + error);
  }
  rendererName_ = info.name;
  // 0: the renderer sets no limit.
  maxTextureWidth_ = info.max_texture_width > 0 ? std::min(info.max_texture_width, kMaxTextureSide)
                                                : kMaxTextureSide;
  maxTextureHeight_ = info.max_texture_height > 0
                          ? std::min(info.max_texture_height, kMaxTextureSide)
                          : kMaxTextureSide;
}

PlayerWindow::~PlayerWindow() {
  Destroy(frame_);
  Destroy(picture_);
  Destroy(status_);
  Destroy(help_);
  SDL_DestroyRenderer(renderer_);
  SDL_DestroyWindow(window_);
}

void PlayerWindow::Upload(const Session& session) {
  const kconvert::LayoutTarget& target = session.target();
  const BITMAPINFOHEADER& header = target.info().header;
  const uint32_t format = SdlFormat(target.layout());
  const int pitch = static_cast<int>(target.rowBytes());
  // SDL only reads the pixels: the const_cast is for its C interface.
  void* pixels = const_cast<uint8_t*>(target.pixels().data());

  if (target.layout() == Layout::kPal8) {
    // SDL has no 8-bit textures: an 8-bit surface over the library's buffer
    // with the library's palette becomes one, colour for colour.
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(pixels, header.biWidth,
                                                              header.biHeight, 8, pitch, format);
    if (surface == nullptr) SdlFailure("cannot make an 8-bit surface");
    SDL_Color colours[256];
    const RGBQUAD* quads = reinterpret_cast<const RGBQUAD*>(target.info().colors);
    for (int i = 0; i < 256; ++i) {
      colours[i] = {quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue, 255};
    }
    if (SDL_SetPaletteColors(surface->format->palette, colours, 0, 256) != 0) {
      SDL_FreeSurface(surface);
      SdlFailure("cannot set the palette");
    }
    if (dump_ != nullptr) {
      static_assert(sizeof(SDL_Color) == 4, "SDL colours are four bytes, red first");
      dump_->Record(session, {SDL_GetPixelFormatName(format), surface->w, surface->h,
                              surface->pitch, static_cast<const uint8_t*>(surface->pixels),
                              reinterpret_cast<const uint8_t*>(surface->format->palette->colors),
                              rendererName_.c_str()});
    }
    Destroy(picture_);
    picture_ = SDL_CreateTextureFromSurface(renderer_, surface);
    SDL_FreeSurface(surface);
    if (picture_ == nullptr) SdlFailure("cannot make a texture of the 8-bit surface");
    pictureFormat_ = format;
    return;
  }

  if (picture_ == nullptr || pictureFormat_ != format || pictureWidth_ != header.biWidth ||
      pictureHeight_ != header.biHeight) {
    Destroy(picture_);
    picture_ = SDL_CreateTexture(renderer_, format, SDL_TEXTUREACCESS_STATIC, header.biWidth,
                                 header.biHeight);
    if (picture_ == nullptr) SdlFailure("cannot create a texture");
    pictureFormat_ = format;
    pictureWidth_ = header.biWidth;
    pictureHeight_ = header.biHeight;
  }
  if (dump_ != nullptr) {
    dump_->Record(session, {SDL_GetPixelFormatName(format), header.biWidth, header.biHeight, pitch,
                            target.pixels().data(), nullptr, rendererName_.c_str()});
  }
  if (SDL_UpdateTexture(picture_, nullptr, pixels, pitch) != 0) SdlFailure("cannot fill a texture");
}

std::optional<std::string> PlayerWindow::Refusal(const Session& session, Layout layout,
                                                 bool zoom) const {
  // The layout's whole buffer is one texture, the padding included.
  const int bufferScale = zoom && !kconvert::IsPacked(layout) ? 2 : 1;
  const PictureGeometry geometry = GeometryOf(session, layout, zoom);
  const int frameWidth = std::max(geometry.width, kMinWindowWidth);
  const int scale = TextScale(frameWidth);
  const int statusHeight =
      static_cast<int>(session.StatusParts().size()) * LineHeight(scale) + 2 * StatusPad(scale);
  const int width = std::max(session.mbCols() * 16 * bufferScale, frameWidth);
  const int height = std::max(session.mbRows() * 16 * bufferScale, geometry.height + statusHeight);
  if (width <= maxTextureWidth_ && height <= maxTextureHeight_) return std::nullopt;
  return "needs " + std::to_string(width) + "x" + std::to_string(height) +
         " pixels, the display holds " + std::to_string(maxTextureWidth_) + "x" +
         std::to_string(maxTextureHeight_);
}

void PlayerWindow::FitFrame(int width, int height) {
  if (frame_ != nullptr && width == frameWidth_ && height == frameHeight_) return;
  Destroy(frame_);
  frame_ =
      SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_TARGET, width, height);
  if (frame_ == nullptr) SdlFailure("cannot create the frame texture");
  frameWidth_ = width;
  frameHeight_ = height;
  SDL_SetWindowSize(window_, width, height);
  resized_ = true;
}

void PlayerWindow::Draw(const Session& session) {
  if (uploaded_ != session.generation()) {
    Upload(session);
    uploaded_ = session.generation();
  }
  const PictureGeometry geometry = GeometryOf(session);
  const int windowWidth = std::max(geometry.width, kMinWindowWidth);
  const int scale = TextScale(windowWidth);
  const RgbImage status =
      TextBlock(session.StatusParts(), windowWidth, scale, kStatusBackground, StatusPad(scale));
  FitFrame(windowWidth, geometry.height + status.height);

  if (SDL_SetRenderTarget(renderer_, frame_) != 0) SdlFailure("cannot draw into the frame");
  SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  SDL_RenderClear(renderer_);
  // The RGB buffers are bottom-up, as bitmaps are: the picture's top row is
  // the buffer's last.  The packed writers put the top row first.
  const kconvert::LayoutTarget& target = session.target();
  const int rows = kconvert::OutputHeight(target, session.height());
  const bool packed = kconvert::IsPacked(target.layout());
  const SDL_Rect source = {0, packed ? 0 : target.info().header.biHeight - rows,
                           kconvert::OutputWidth(target, session.width()), rows};
  const SDL_Rect shown = {0, 0, geometry.width, geometry.height};
  if (SDL_RenderCopyEx(renderer_, picture_, &source, &shown, 0, nullptr,
                       packed ? SDL_FLIP_NONE : SDL_FLIP_VERTICAL) != 0) {
    SdlFailure("cannot draw the picture");
  }
  if (session.overlay()) DrawOverlay(session, geometry);
  if (session.help()) DrawHelp(geometry);
  DrawStatus(status, geometry.height);
  if (SDL_SetRenderTarget(renderer_, nullptr) != 0) SdlFailure("cannot draw in the window");
}

void PlayerWindow::DrawOverlay(const Session& session, const PictureGeometry& geometry) {
  // Map row 0 is the bottom macroblock row of the padded picture, whose
  // padding lies below the picture: count from the padded bottom.
  const int mbSize = 16 * geometry.scale;
  const int paddedBottom = session.mbRows() * mbSize;
  const SDL_Rect picture = {0, 0, geometry.width, geometry.height};
  std::vector<SDL_Rect> rects;
  for (int row = 0; row < session.mbRows(); ++row) {
    for (int col = 0; col < session.mbCols(); ++col) {
      if (session.converted()[static_cast<size_t>(row) * session.mbCols() + col] == 0) continue;
      const SDL_Rect block = {col * mbSize, paddedBottom - (row + 1) * mbSize, mbSize, mbSize};
      SDL_Rect visible;
      if (SDL_IntersectRect(&block, &picture, &visible)) rects.push_back(visible);
    }
  }
  SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_BLEND);
  SDL_SetRenderDrawColor(renderer_, kTint.r, kTint.g, kTint.b, kTint.a);
  SDL_RenderFillRects(renderer_, rects.data(), static_cast<int>(rects.size()));
  SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_NONE);
}

void PlayerWindow::DrawHelp(const PictureGeometry& geometry) {
  const std::vector<std::string> lines = KeyHelpLines();
  size_t longest = 0;
  for (const std::string& line : lines) longest = std::max(longest, line.size());
  // Large print when it fits over the picture.
  int scale = 2;
  auto width = [&](int s) { return kconvert::TextWidth(std::string(longest, 'M'), s) + 8 * s; };
  if (width(2) > geometry.width ||
      static_cast<int>(lines.size()) * LineHeight(2) + 16 > geometry.height) {
    scale = 1;
  }
  if (help_ == nullptr || helpScale_ != scale) {
    Destroy(help_);
    help_ = TextureOf(renderer_, TextBlock(lines, width(scale), scale, kHelpBackground, 4 * scale));
    SDL_SetTextureBlendMode(help_, SDL_BLENDMODE_BLEND);
    SDL_SetTextureAlphaMod(help_, 224);
    helpScale_ = scale;
  }
  int w = 0, h = 0;
  SDL_QueryTexture(help_, nullptr, nullptr, &w, &h);
  const SDL_Rect where = {4, 4, w, h};
  SDL_RenderCopy(renderer_, help_, nullptr, &where);
}

void PlayerWindow::DrawStatus(const RgbImage& bar, int top) {
  if (status_ == nullptr || statusWidth_ != bar.width || statusHeight_ != bar.height) {
    Destroy(status_);
    status_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB24, SDL_TEXTUREACCESS_STREAMING,
                                bar.width, bar.height);
    if (status_ == nullptr) SdlFailure("cannot create a texture");
    statusWidth_ = bar.width;
    statusHeight_ = bar.height;
  }
  SDL_UpdateTexture(status_, nullptr, bar.rgb.data(), bar.width * 3);
  const SDL_Rect where = {0, top, bar.width, bar.height};
  SDL_RenderCopy(renderer_, status_, nullptr, &where);
}

void PlayerWindow::Present() {
  if (!shown_) {
    SDL_ShowWindow(window_);
    shown_ = true;
  }
  // After a resize GL drivers may draw once more into a buffer of the old
  // size, and only take the new one after presenting it: draw twice.
  const int times = resized_ ? 2 : 1;
  resized_ = false;
  for (int i = 0; i < times; ++i) {
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    const SDL_Rect where = {0, 0, frameWidth_, frameHeight_};
    if (SDL_RenderCopy(renderer_, frame_, nullptr, &where) != 0) {
      SdlFailure("cannot show the frame");
    }
    SDL_RenderPresent(renderer_);
  }
}

RgbImage PlayerWindow::ReadBack() {
  RgbImage image(frameWidth_, frameHeight_);
  const bool read = SDL_SetRenderTarget(renderer_, frame_) == 0 &&
                    SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_RGB24,
                                         image.rgb.data(), frameWidth_ * 3) == 0;
  const std::string error = read ? "" : SDL_GetError();
  SDL_SetRenderTarget(renderer_, nullptr);
  if (!read) throw kconvert::ToolError("cannot read the frame back: " + error);
  return image;
}

void PlayerWindow::PushKey(const KeyPress& press) {
  SDL_Event event{};
  event.type = SDL_KEYDOWN;
  event.key.windowID = SDL_GetWindowID(window_);
  event.key.state = SDL_PRESSED;
  event.key.keysym.sym = press.key;
  event.key.keysym.scancode = SDL_GetScancodeFromKey(press.key);
  event.key.keysym.mod = press.shift ? KMOD_LSHIFT : KMOD_NONE;
  if (SDL_PushEvent(&event) < 0) SdlFailure("cannot queue a key");
}

std::optional<Action> ActionOfEvent(const SDL_Event& event) {
  if (event.type != SDL_KEYDOWN) return std::nullopt;
  return ActionForKey(event.key.keysym.sym, (event.key.keysym.mod & KMOD_SHIFT) != 0);
}

}  // namespace kplay
