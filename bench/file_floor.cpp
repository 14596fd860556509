// The physical floor of a batch of image files: the same files, with the same names and bytes,
// written one after another into a folder with one open, write and close each, and every pixel
// of each image read once (one byte a pixel, the least an image of that size can be). Whatever
// draws and encodes those files costs at least this.
//
// Usage: quillet_file_floor FROM TO [THREADS]
// Reads every .png file of FROM first (not timed), then writes them into TO (which must exist)
// and prints the wall and the CPU seconds (user + system) of that alone: "WALL CPU". With
// THREADS, that many threads share the files (every THREADS-th each), as a batch's workers do:
// what the file system gives two threads writing into one folder bounds what a batch can.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Image {
    std::string name;
    std::string bytes;
    std::size_t pixels;
};

// Width x height from the PNG header; 0 when the file is no PNG.
std::size_t pixelCount(const std::string& bytes) {
    if (bytes.size() < 24) return 0;
    const auto word = [&](std::size_t at) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i)
            value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
        return value;
    };
    return static_cast<std::size_t>(word(16)) * word(20);
}

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: quillet_file_floor FROM TO [THREADS]\n");
        return 2;
    }
    const std::size_t threadCount = argc == 4 ? std::max(1, std::atoi(argv[3])) : 1;
    std::vector<Image> images;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        if (entry.path().extension() != ".png") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t pixels = pixelCount(bytes);
        images.push_back({entry.path().filename().string(), std::move(bytes), pixels});
    }
    std::sort(images.begin(), images.end(),
              [](const Image& a, const Image& b) { return a.name < b.name; });
    std::size_t largest = 0;
    for (const Image& image : images) largest = std::max(largest, image.pixels);
    std::vector<unsigned char> pixels(largest, 1);
    const std::string folder = std::string(argv[2]) + "/";

    // Every threadCount-th image from `first` on; false when a file could not be written.
    const auto writeShare = [&](std::size_t first, unsigned& sum) {
        unsigned share = 0;  // summed here, not in sums, which the threads' lines share
        for (std::size_t at = first; at < images.size(); at += threadCount) {
            const Image& image = images[at];
            for (std::size_t i = 0; i < image.pixels; ++i) share += pixels[i];
            const std::string path = folder + image.name;
            const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            if (file < 0 ||
                ::write(file, image.bytes.data(), image.bytes.size()) !=
                    static_cast<ssize_t>(image.bytes.size()) ||
                ::close(file) != 0) {
                std::perror(path.c_str());
                return false;
            }
        }
        sum = share;
        return true;
    };

    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = cpuSeconds();
    std::vector<unsigned> sums(threadCount, 0);
    std::vector<char> written(threadCount, 0);
    {
        std::vector<std::jthread> threads;
        for (std::size_t t = 1; t < threadCount; ++t)
            threads.emplace_back([&, t] { written[t] = writeShare(t, sums[t]); });
        written[0] = writeShare(0, sums[0]);
    }
    if (std::find(written.begin(), written.end(), 0) != written.end()) return 1;
    unsigned sum = 0;
    for (const unsigned share : sums) sum += share;
    const double cpu = cpuSeconds() - cpuStart;
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    std::printf("%.3f %.3f\n", wall.count(), cpu);
    return sum == 0 && largest != 0 ? 1 : 0;
}
