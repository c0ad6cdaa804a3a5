// One PNG with every layout side by side, labelled, at one scale.
#pragma once

#include <string>
#include <vector>

#include "display_image.h"

namespace kconvert {

struct SheetTile {
  std::string label;
  RgbImage image;
};

// Lays the tiles out in rows of up to three, each under its label, with the
// title above them all.  Tiles should be of one size; smaller ones are
// placed at the top left of their cell.
RgbImage MakeContactSheet(const std::string& title, const std::vector<SheetTile>& tiles);

}  // namespace kconvert
