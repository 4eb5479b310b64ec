#pragma once
// Observes one browser stream for a page: it tells the page function when the
// stream opens or fails to, and at the end how many bytes arrived, their
// CRC-32, whether progress only rose and how many pieces came. For range reads
// it asks for the ranges once the stream is open and hands each piece to the
// page with its offset and bytes.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "BrowserHost.h"
#include "BrowserStream.h"
#include "JSObject.h"
#include "PluginEventSink.h"

class StreamReporter : public FW::PluginEventSink {
public:
    StreamReporter(std::weak_ptr<FW::BrowserHost> host, FW::JSObjectPtr callback,
                   std::vector<FW::Range> ranges);

    bool HandleEvent(FW::PluginEvent* evt, FW::PluginEventSource* src) override;

private:
    void report(const FW::VariantList& args);
    void requestRanges(FW::BrowserStream& stream);
    void onData(const uint8_t* data, size_t length, size_t offset, double progress);

    std::weak_ptr<FW::BrowserHost> m_host;
    FW::JSObjectPtr m_callback;
    std::vector<FW::Range> m_ranges; // empty: the whole resource, in order
    size_t m_bytes = 0;
    size_t m_pieces = 0;
    uint32_t m_crc = 0;
    bool m_inOrder = true;
    bool m_progressRose = true;
    double m_lastProgress = 0;
    bool m_completed = false;
    // Held while attached to a stream: nobody else keeps a reporter.
    std::shared_ptr<StreamReporter> m_self;
};

// The CRC-32 (IEEE) of data continuing from crc (0 for the first piece).
uint32_t crc32Update(uint32_t crc, const uint8_t* data, size_t length);
