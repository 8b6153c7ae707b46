// Writes the resources that the colour-matching plug-in is shipped with:
//   <folder>/icc/<model>.icc  a device profile per model name given: sRGB (the identity), and
//                              "<model>Wide.icc", a wide-gamut RGB (D50 primaries near Adobe
//                              RGB's, gamma 2.2) for conversions that move colours;
//   <folder>/chromalis.krc    the tone-curve blocks: 0 to 2 the three presets (identity, identity,
//                              a gentle S-curve for text), 3 to 7 custom curves of gamma
//                              0.8, 0.9, 1.1, 1.25 and 1.4.
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

bool writeProfile(cmsHPROFILE p, const std::string& path) {
  const bool ok = p && cmsSaveProfileToFile(p, path.c_str());
  if (p) cmsCloseProfile(p);
  if (!ok) fprintf(stderr, "cannot write %s\n", path.c_str());
  return ok;
}

cmsHPROFILE wideGamut() {
  const cmsCIExyY white = {0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
  cmsToneCurve* curves[3] = {gamma, gamma, gamma};
  cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(gamma);
  return p;
}

std::vector<unsigned char> curveBlocks() {
  std::vector<unsigned char> data;
  auto add = [&](auto f) {
    for (int i = 0; i < 256; ++i)
      data.push_back((unsigned char)std::lround(std::clamp(f(i / 255.0), 0.0, 1.0) * 255));
  };
  add([](double x) { return x; });
  add([](double x) { return x; });
  add([](double x) { return x - 0.08 * std::sin(2 * 3.14159265358979 * x); });
  for (double g : {0.8, 0.9, 1.1, 1.25, 1.4}) add([g](double x) { return std::pow(x, g); });
  return data;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s <folder> <model>...\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(folder / "icc", ec);
  bool ok = !ec;
  for (int i = 2; i < argc && ok; ++i) {
    ok = writeProfile(cmsCreate_sRGBProfile(),
                      (folder / "icc" / (std::string(argv[i]) + ".icc")).string()) &&
         writeProfile(wideGamut(), (folder / "icc" / (std::string(argv[i]) + "Wide.icc")).string());
  }
  const std::vector<unsigned char> blocks = curveBlocks();
  FILE* f = ok ? fopen((folder / "chromalis.krc").string().c_str(), "wb") : nullptr;
  ok = f && fwrite(blocks.data(), 1, blocks.size(), f) == blocks.size();
  if (f) ok = fclose(f) == 0 && ok;
  return ok ? 0 : 1;
}
