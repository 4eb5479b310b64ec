#include "StreamReporter.h"

#include <cstdio>

#include "GeneralEvents.h"
#include "StreamEvents.h"

namespace {

std::string hex32(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

} // namespace

uint32_t crc32Update(uint32_t crc, const uint8_t* data, size_t length) {
    static const auto table = [] {
        std::vector<uint32_t> entries(256);
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t value = i;
            for (int bit = 0; bit < 8; ++bit)
                value = (value & 1) ? 0xEDB88320u ^ (value >> 1) : value >> 1;
            entries[i] = value;
        }
        return entries;
    }();
    crc = ~crc;
    for (size_t i = 0; i < length; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

StreamReporter::StreamReporter(std::weak_ptr<FW::BrowserHost> host, FW::JSObjectPtr callback,
                               std::vector<FW::Range> ranges)
    : m_host(std::move(host)), m_callback(std::move(callback)), m_ranges(std::move(ranges)) {}

void StreamReporter::report(const FW::VariantList& args) {
    if (m_callback)
        m_callback->InvokeAsync(std::string(), args);
}

bool StreamReporter::HandleEvent(FW::PluginEvent* evt, FW::PluginEventSource* src) {
    auto* stream = dynamic_cast<FW::BrowserStream*>(src);
    if (stream == nullptr)
        return false;
    if (dynamic_cast<FW::AttachedEvent*>(evt) != nullptr) {
        m_self = std::static_pointer_cast<StreamReporter>(shared_from_this());
    } else if (dynamic_cast<FW::DetachedEvent*>(evt) != nullptr ||
               dynamic_cast<FW::StreamDestroyedEvent*>(evt) != nullptr) {
        m_self.reset(); // may be the last reference: nothing after this
        return false;
    } else if (dynamic_cast<FW::StreamOpenedEvent*>(evt) != nullptr) {
        report({std::string("opened"), stream->getMimeType(),
                static_cast<double>(stream->getLength()), stream->isSeekable()});
        if (!m_ranges.empty())
            requestRanges(*stream);
    } else if (dynamic_cast<FW::StreamFailedOpenEvent*>(evt) != nullptr) {
        report({std::string("failedOpen")});
    } else if (auto* data = dynamic_cast<FW::StreamDataArrivedEvent*>(evt)) {
        onData(static_cast<const uint8_t*>(data->data), data->length, data->offset, data->progress);
    } else if (auto* completed = dynamic_cast<FW::StreamCompletedEvent*>(evt)) {
        if (m_completed) {
            report({std::string("completedAgain")});
            return false;
        }
        m_completed = true;
        report({std::string("completed"), completed->success, static_cast<double>(m_bytes),
                hex32(m_crc), m_progressRose && m_inOrder, static_cast<double>(m_pieces)});
    }
    return false;
}

void StreamReporter::requestRanges(FW::BrowserStream& stream) {
    // Internet Explorer takes them now; an NPAPI browser only once the opening
    // call has returned, so a refusal is tried again on the next turn.
    if (stream.readRanges(m_ranges))
        return;
    auto self = std::static_pointer_cast<StreamReporter>(shared_from_this());
    FW::BrowserStreamPtr target = stream.shared_ptr();
    auto host = m_host.lock();
    // The scheduled call keeps the stream alive until it has run.
    const bool scheduled = host && host->ScheduleOnMainThread(target, [self, raw = target.get()] {
        if (!raw->readRanges(self->m_ranges))
            self->report({std::string("rangesRefused")});
    });
    if (!scheduled)
        report({std::string("rangesRefused")});
}

void StreamReporter::onData(const uint8_t* data, size_t length, size_t offset, double progress) {
    ++m_pieces;
    if (!m_ranges.empty()) {
        // Range pieces go to the page as they are: it checks offsets and bytes.
        std::string bytes;
        for (size_t i = 0; i < length; ++i)
            bytes += (i ? "," : "") + std::to_string(data[i]);
        m_bytes += length;
        report({std::string("data"), static_cast<double>(offset), bytes});
        return;
    }
    if (offset != m_bytes)
        m_inOrder = false;
    if (progress < m_lastProgress)
        m_progressRose = false;
    m_lastProgress = progress;
    m_crc = crc32Update(m_crc, data, length);
    m_bytes += length;
}
