#include "output_names.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "tool_error.h"

namespace kconvert {
namespace {

namespace fs = std::filesystem;

// The frame number's place in a name: [start, end) of "%0Nd" and N.
struct NumberField {
  size_t start = std::string::npos;
  size_t end = 0;
  int digits = 0;
};

// Walks the '%' sequences of `name`, calling `literal` for each character
// and returning the one number field.
template <typename Literal>
NumberField ScanName(const std::string& name, Literal literal) {
  NumberField field;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '%') {
      literal(name[i]);
      continue;
    }
    if (i + 1 < name.size() && name[i + 1] == '%') {
      literal('%');
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < name.size() && std::isdigit(static_cast<unsigned char>(name[j]))) ++j;
    const std::string width = name.substr(i + 1, j - i - 1);
    if (j == name.size() || name[j] != 'd' || width.size() > 2 ||
        (!width.empty() && width[0] != '0')) {
      throw UsageError("output name '" + name +
                       "': use %04d for the frame number and %% for a percent sign");
    }
    if (field.start != std::string::npos) {
      throw UsageError("output name '" + name + "' has more than one frame number");
    }
    field = {i, j + 1, width.empty() ? 0 : std::stoi(width)};
    literal('\0');  // where the number goes
    i = j;
  }
  return field;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

const char* Extension(Container container, Layout layout) {
  if (container == Container::kBmp) return ".bmp";
  if (container == Container::kPng) return ".png";
  return layout == Layout::kUyvy ? ".uyvy" : ".yuy2";
}

bool IsDirectoryName(const std::string& output) {
  std::error_code error;
  return output.back() == '/' || fs::is_directory(output, error);
}

std::vector<Layout> LayoutsOf(const std::string& format) {
  if (format == "all") return {std::begin(kAllLayouts), std::end(kAllLayouts)};
  if (auto layout = ParseLayout(format)) return {*layout};
  throw UsageError("--format '" + format +
                   "' is not one of rgb24, rgb555, rgb565, pal8, uyvy, yuy2, all");
}

OutputPlan PlanDirectory(const Options& options, const std::string& stem, bool video) {
  OutputPlan plan;
  plan.directory = options.output;
  plan.layouts = LayoutsOf(options.format.empty() ? "all" : options.format);
  std::string base;
  for (char c : (fs::path(options.output) / stem).string()) {
    base += c;
    if (c == '%') base += '%';  // a literal percent sign in the name
  }
  const std::string number = video && options.frames != 1 ? "-%04d" : "";
  for (Layout layout : plan.layouts) {
    const Container container = IsPacked(layout) ? Container::kRaw : Container::kBmp;
    // Raw frames go one after another into one file.
    const std::string name = base + "-" + LayoutName(layout) +
                             (container == Container::kRaw ? "" : number) +
                             Extension(container, layout);
    plan.items.push_back({layout, container, name});
  }
  if (plan.layouts.size() > 1) plan.sheetName = base + "-sheet" + number + ".png";
  return plan;
}

OutputPlan PlanFile(const Options& options) {
  OutputPlan plan;
  const std::string& name = options.output;
  if (name == "-") {
    const auto layout = ParseLayout(options.format);
    if (!layout || !IsPacked(*layout)) {
      throw UsageError("output to stdout ('-') needs --format uyvy or yuy2");
    }
    plan.layouts = {*layout};
    plan.items.push_back({*layout, Container::kRaw, name});
    return plan;
  }

  const std::string extension = Lower(fs::path(name).extension().string());
  if (extension == ".png") {
    plan.layouts = LayoutsOf(options.format.empty() ? "all" : options.format);
    if (plan.layouts.size() > 1) {
      plan.sheetName = name;
    } else {
      plan.items.push_back({plan.layouts[0], Container::kPng, name});
    }
  } else if (extension == ".bmp") {
    plan.layouts = LayoutsOf(options.format.empty() ? "rgb24" : options.format);
    if (plan.layouts.size() > 1 || IsPacked(plan.layouts[0])) {
      throw UsageError("'" + name +
                       "': a .bmp holds one RGB layout; use .png or a directory for the others");
    }
    plan.items.push_back({plan.layouts[0], Container::kBmp, name});
  } else if (extension == ".uyvy" || extension == ".yuy2") {
    const std::string layoutName = extension.substr(1);
    if (!options.format.empty() && options.format != layoutName) {
      throw UsageError("'" + name + "' is a raw " + layoutName + " file but --format is " +
                       options.format);
    }
    plan.layouts = {*ParseLayout(layoutName)};
    plan.items.push_back({plan.layouts[0], Container::kRaw, name});
  } else {
    throw UsageError("cannot tell the output format from '" + name +
                     "': use .bmp, .png, .uyvy, .yuy2, '-' or a directory ending in '/'");
  }
  return plan;
}

}  // namespace

bool HasFrameNumber(const std::string& name) {
  return ScanName(name, [](char) {}).start != std::string::npos;
}

std::string ExpandFrameNumber(const std::string& name, int64_t number) {
  std::string out;
  const NumberField field = ScanName(name, [&out](char c) { out += c; });
  if (field.start == std::string::npos) return out;
  std::string digits = std::to_string(number);
  if (static_cast<int>(digits.size()) < field.digits) {
    digits.insert(0, field.digits - digits.size(), '0');
  }
  const size_t at = out.find('\0');
  return out.replace(at, 1, digits);
}

OutputPlan PlanOutputs(const Options& options, const std::string& stem, bool video) {
  if (options.output.empty()) throw UsageError("the output name is empty");
  OutputPlan plan =
      IsDirectoryName(options.output) ? PlanDirectory(options, stem, video) : PlanFile(options);
  if (options.zoom && plan.layouts.size() == 1 && IsPacked(plan.layouts[0])) {
    throw UsageError("--zoom applies to the RGB layouts only");
  }
  // An image name without a frame number holds one frame.
  bool unnumberedImage = !plan.sheetName.empty() && !HasFrameNumber(plan.sheetName);
  for (const OutputItem& item : plan.items) {
    // Raw frames without a number go one after another into one file.
    unnumberedImage |= item.container != Container::kRaw && !HasFrameNumber(item.name);
  }
  if (unnumberedImage && video) {
    if (options.frames > 1) {
      throw UsageError("'" + options.output + "' holds one frame; put %04d in the name to write " +
                       std::to_string(options.frames) + " frames");
    }
    plan.maxFrames = 1;
  }
  return plan;
}

}  // namespace kconvert
