// A canvas that keeps, in order, what is painted on it.
#pragma once

#include <vector>

#include "fake/fake_window_layer.h"

namespace fake {

class RecordingCanvas : public platform::Canvas {
 public:
  void FillButtonFace() override { drawn.push_back({platform::Picture::None, {0, 0}}); }
  void Draw(platform::Picture picture, platform::Point topLeft) override {
    drawn.push_back({picture, topLeft});
  }
  std::vector<Drawn> drawn;
};

}  // namespace fake
