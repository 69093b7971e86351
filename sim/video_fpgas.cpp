#include "sim/video_fpgas.h"

#include <utility>

namespace sim {

uint32_t VideoCrcFeed(uint32_t crc, const uint8_t*, size_t) { return crc; }

class VideoFpgas::Keyer {};
class VideoFpgas::Pair {};
class VideoFpgas::Route : public VideoRoute {
public:
    bool Open() override { return false; }
    void Carry(uint8_t*, size_t) override {}
};

VideoFpgas::VideoFpgas(const BoardConfig&, ConfigPort&, std::function<uint32_t()>)
    : m_route{std::make_unique<Route>(), std::make_unique<Route>()} {}

VideoFpgas::~VideoFpgas() = default;

void VideoFpgas::Attach(RegisterMap&) {}

VideoRoute& VideoFpgas::PppRoute(int channel) { return *m_route[channel ? 1 : 0]; }

uint32_t VideoFpgas::Read(uint32_t) { return 0xFFFFFFFF; }
void VideoFpgas::Write(uint32_t, uint32_t) {}

}  // namespace sim
