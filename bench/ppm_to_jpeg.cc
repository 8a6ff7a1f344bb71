// ppm_to_jpeg: turns a binary PPM (P6, maxval 255) into a baseline JPEG of a
// given quality, for the whole-run benchmarks.
//   ppm_to_jpeg in.ppm out.jpg quality
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: ppm_to_jpeg in.ppm out.jpg quality\n");
    return 2;
  }
  std::FILE* in = std::fopen(argv[1], "rb");
  unsigned width = 0, height = 0, maxval = 0;
  if (in == nullptr || std::fscanf(in, "P6 %u %u %u", &width, &height, &maxval) != 3 || maxval != 255 ||
      std::fgetc(in) == EOF) {
    std::fprintf(stderr, "%s: not a P6 PPM with maxval 255\n", argv[1]);
    return 1;
  }
  std::vector<unsigned char> rgb(size_t{3} * width * height);
  if (std::fread(rgb.data(), 1, rgb.size(), in) != rgb.size()) {
    std::fprintf(stderr, "%s: short\n", argv[1]);
    return 1;
  }
  std::fclose(in);
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) return 1;
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, out);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, std::atoi(argv[3]), TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < height) {
    JSAMPROW row = rgb.data() + size_t{3} * width * cinfo.next_scanline;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return std::fclose(out) == 0 ? 0 : 1;
}
