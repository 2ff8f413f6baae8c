#include "gl/png_file.h"

#include <png.h>

#include <csetjmp>

#include "platform/atomic_file.h"

namespace lumarex {

namespace {

void WriteToAtomicFile(png_structp png, png_bytep data, png_size_t length) {
  auto* file = static_cast<AtomicFile*>(png_get_io_ptr(png));
  if (!file->Write(data, length)) png_error(png, "write failed");
}

void FlushNothing(png_structp) {}

}  // namespace

bool WritePng(const std::string& path, const RgbaImage& image, std::string& error) {
  if (image.width <= 0 || image.height <= 0 ||
      image.pixels.size() !=
          static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4) {
    error = "no picture to write";
    return false;
  }
  AtomicFile file;
  if (!file.Open(path)) {
    error = "cannot create " + path;
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    error = "out of memory";
    return false;
  }
  // libpng reports its failures by longjmp; nothing below owns a resource across it but the
  // structures destroyed here and the file, which stays uncommitted.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    error = "cannot write " + path;
    return false;
  }
  png_set_write_fn(png, &file, WriteToAtomicFile, FlushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_filler(png, 0, PNG_FILLER_AFTER);  // rows carry RGBA; the alpha byte is dropped
  for (int y = 0; y < image.height; ++y) {
    png_write_row(png, const_cast<png_bytep>(image.At(0, y)));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (!file.Commit()) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

std::optional<RgbaImage> ReadPng(const std::string& path) {
  png_image reader{};
  reader.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&reader, path.c_str()) == 0) return std::nullopt;
  reader.format = PNG_FORMAT_RGBA;
  RgbaImage image;
  image.width = static_cast<int>(reader.width);
  image.height = static_cast<int>(reader.height);
  image.pixels.resize(PNG_IMAGE_SIZE(reader));
  if (png_image_finish_read(&reader, nullptr, image.pixels.data(), 0, nullptr) == 0) {
    png_image_free(&reader);
    return std::nullopt;
  }
  return image;
}

}  // namespace lumarex
