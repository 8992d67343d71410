// Writes an Orvo file with the known patterns of SamplePattern.h, for the
// tests that read it with third-party TIFF readers.
//
//   writer_sample_file <output> <width> <height> [lzw]
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "avkorvo/OrvoFile.h"
#include "writer/SamplePattern.h"

using Talvenrock::Orvo::OrvoFile;

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 5 || (argc == 5 && std::string(argv[4]) != "lzw")) {
        std::fprintf(stderr, "usage: %s <output> <width> <height> [lzw]\n", argv[0]);
        return 2;
    }
    const std::string output = argv[1];
    const unsigned width = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    const unsigned height = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
    const bool compress = argc == 5;
    try {
        std::unique_ptr<OrvoFile> file(OrvoFile::create(
            std::wstring(output.begin(), output.end()), width, height, L"fennick sample", L"sample",
            L"", L"", Talvenrock::Orvo::Projection(), compress));
        file->setResolution(300, 300, Talvenrock::Orvo::ResolutionInch);
        file->setShadowDirection(1.0, -1.0, 2.0);
        for (int mask : {1, 2, 4})
            samplepattern::writePass(*file, mask, width, height);
        file->putMaterial(1, 200, 10, 10, L"red");
        file->putMaterial(2, 10, 200, 10, L"green");
        file->putMaterial(3, 10, 10, 200, L"blue");
        file->close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "writer_sample_file: writing %s failed: %s\n", output.c_str(),
                     e.what());
        return 1;
    }
    return 0;
}
