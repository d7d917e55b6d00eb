// Writes a minimal 24x24 16-bit DNG (CFA blue-green/green-red, D65 matrix) for the loader tests.
#include <tiffio.h>
#include <cstdint>
#include <vector>
int main(int argc, char** argv) {
  TIFF* tiff = TIFFOpen(argv[1], "w");
  const uint32_t w = 24, h = 24;
  static const uint8_t version[4] = {1, 4, 0, 0};
  const float xyz_to_srgb[9] = {3.2404542f, -1.5371385f, -0.4985314f, -0.9692660f, 1.8760108f,
                                0.0415560f, 0.0556434f, -0.2040259f, 1.0572252f};
  const float neutral[3] = {0.5f, 1.0f, 0.25f};
  const float black = 64;
  const uint32_t white = 16383;
  TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, 0);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, 32803);
  const uint16_t dims[2] = {2, 2};
  const uint8_t cfa[4] = {2, 1, 1, 0};
  TIFFSetField(tiff, TIFFTAG_CFAREPEATPATTERNDIM, dims);
  TIFFSetField(tiff, TIFFTAG_CFAPATTERN, 4, cfa);
  TIFFSetField(tiff, TIFFTAG_BLACKLEVEL, 1, &black);
  TIFFSetField(tiff, TIFFTAG_WHITELEVEL, 1, &white);
  TIFFSetField(tiff, TIFFTAG_DNGVERSION, version);
  TIFFSetField(tiff, TIFFTAG_DNGBACKWARDVERSION, version);
  TIFFSetField(tiff, TIFFTAG_MAKE, "Corvalith");
  TIFFSetField(tiff, TIFFTAG_MODEL, "Test Camera");
  TIFFSetField(tiff, TIFFTAG_UNIQUECAMERAMODEL, "Corvalith Test Camera");
  TIFFSetField(tiff, TIFFTAG_COLORMATRIX1, 9, xyz_to_srgb);
  TIFFSetField(tiff, TIFFTAG_CALIBRATIONILLUMINANT1, 21);
  TIFFSetField(tiff, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 8);
  std::vector<uint16_t> row(w);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) row[x] = uint16_t(64 + ((y * 131 + x * 37) * 29) % 16000);
    TIFFWriteScanline(tiff, row.data(), y, 0);
  }
  TIFFWriteDirectory(tiff);
  TIFFClose(tiff);
  return 0;
}
