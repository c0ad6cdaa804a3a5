// The window: an SDL texture (an 8-bit surface with its palette, for pal8)
// of each layout's own pixel format, filled with the bytes the library
// wrote and drawn upright, with the overlay, the help box and the status
// line drawn by SDL's renderer.  All of it is drawn into a frame texture of
// its own size, which is copied to the window and read back for
// screenshots: the window's own buffer follows a resize only when the
// display gets round to it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "display_image.h"
#include "keys.h"
#include "session.h"
#include "upload_dump.h"

struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Window;
union SDL_Event;

namespace kplay {

// SDL's video subsystem, for as long as the window lives.
class SdlVideo {
 public:
  SdlVideo();  // throws ToolError when there is no display to use
  ~SdlVideo();
  SdlVideo(const SdlVideo&) = delete;
  SdlVideo& operator=(const SdlVideo&) = delete;
};

// Where the picture lies in the window, from its top left corner: the
// picture as the layout holds it, times `scale`.
struct PictureGeometry {
  int width = 0;  // shown size in window pixels
  int height = 0;
  int scale = 1;  // window pixels per picture pixel
};
PictureGeometry GeometryOf(const Session& session);
// The same for the session's picture in another layout or size.
PictureGeometry GeometryOf(const Session& session, kconvert::Layout layout, bool zoom);

class PlayerWindow {
 public:
  // `dump` (may be null) records every picture handed to SDL.  Throws
  // ToolError when the window or its renderer cannot be made.
  PlayerWindow(const std::string& title, UploadDump* dump);
  ~PlayerWindow();
  PlayerWindow(const PlayerWindow&) = delete;
  PlayerWindow& operator=(const PlayerWindow&) = delete;

  // Why the display cannot show the session's picture in `layout` at
  // `zoom` ("needs 32768x70 pixels, ..."); nothing when it can.
  std::optional<std::string> Refusal(const Session& session, kconvert::Layout layout,
                                     bool zoom) const;

  // Draws the session into the frame, handing SDL the layout's bytes again
  // when they changed since the last call.
  void Draw(const Session& session);
  // Puts the frame in the window.
  void Present();
  // What the last Draw() put in the frame, read back through SDL.
  kconvert::RgbImage ReadBack();

  // Queues a key press as if it came from the keyboard, for key scripts.
  void PushKey(const KeyPress& press);

 private:
  void Upload(const Session& session);
  void FitFrame(int width, int height);
  void DrawOverlay(const Session& session, const PictureGeometry& geometry);
  void DrawHelp(const PictureGeometry& geometry);
  void DrawStatus(const kconvert::RgbImage& bar, int top);

  SdlVideo video_;
  UploadDump* dump_;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  std::string rendererName_;
  int maxTextureWidth_ = 0;
  int maxTextureHeight_ = 0;
  SDL_Texture* frame_ = nullptr;
  int frameWidth_ = 0;
  int frameHeight_ = 0;
  bool shown_ = false;
  bool resized_ = false;  // since the last Present()
  SDL_Texture* picture_ = nullptr;
  uint32_t pictureFormat_ = 0;
  int pictureWidth_ = 0;
  int pictureHeight_ = 0;
  std::optional<uint64_t> uploaded_;  // the session generation on the texture
  SDL_Texture* status_ = nullptr;
  int statusWidth_ = 0;
  int statusHeight_ = 0;
  SDL_Texture* help_ = nullptr;
  int helpScale_ = 0;
};

// The action of a key event; nothing for other events and other keys.
std::optional<Action> ActionOfEvent(const SDL_Event& event);

}  // namespace kplay
