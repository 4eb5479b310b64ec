#include "PluginEventSource.h"
#include "PluginEvents.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace FW;

namespace {

std::string kindOf(PluginEvent* evt) {
    if (dynamic_cast<AttachedEvent*>(evt))
        return "attached";
    if (dynamic_cast<DetachedEvent*>(evt))
        return "detached";
    if (dynamic_cast<ResizedEvent*>(evt))
        return "resized";
    if (dynamic_cast<TimerEvent*>(evt))
        return "timer";
    return "other";
}

// Records what it receives; its answer and an optional action are set per test.
class RecordingSink : public PluginEventSink {
public:
    explicit RecordingSink(std::string name = "sink", bool answer = false)
        : name(std::move(name)), answer(answer) {}

    bool HandleEvent(PluginEvent* evt, PluginEventSource* src) override {
        received.push_back(kindOf(evt));
        sources.push_back(src);
        if (log)
            log->push_back(name + ":" + kindOf(evt));
        if (action)
            action(evt, src);
        return answer;
    }

    std::string name;
    bool answer;
    std::vector<std::string> received;
    std::vector<PluginEventSource*> sources;
    std::vector<std::string>* log = nullptr;
    std::function<void(PluginEvent*, PluginEventSource*)> action;
};

using Strings = std::vector<std::string>;

} // namespace

TEST(PluginEventSource, AttachingDeliversAttachedEventWithTheSource) {
    PluginEventSource source;
    auto shared = std::make_shared<RecordingSink>();
    auto plain = std::make_shared<RecordingSink>();
    source.AttachObserver(shared);
    source.AttachObserver(plain.get());
    EXPECT_EQ(shared->received, Strings{"attached"});
    EXPECT_EQ(plain->received, Strings{"attached"});
    EXPECT_EQ(shared->sources.at(0), &source);

    ResizedEvent evt;
    source.SendEvent(&evt);
    EXPECT_EQ(plain->received, (Strings{"attached", "resized"}));
}

TEST(PluginEventSource, RefusesSinksThatCannotBeHeldWeakly) {
    PluginEventSource source;
    RecordingSink onStack;
    EXPECT_THROW(source.AttachObserver(&onStack), std::invalid_argument);
    EXPECT_THROW(source.AttachObserver(static_cast<PluginEventSink*>(nullptr)),
                 std::invalid_argument);
    EXPECT_THROW(source.AttachObserver(PluginEventSinkPtr()), std::invalid_argument);
    EXPECT_TRUE(onStack.received.empty());
    ResizedEvent evt;
    EXPECT_FALSE(source.SendEvent(&evt));
}

TEST(PluginEventSource, SendEventStopsAtTheFirstSinkThatHandles) {
    PluginEventSource source;
    std::vector<std::string> log;
    auto first = std::make_shared<RecordingSink>("first", false);
    auto second = std::make_shared<RecordingSink>("second", true);
    auto third = std::make_shared<RecordingSink>("third", true);
    for (auto* s : {first.get(), second.get(), third.get()}) {
        s->log = &log;
        source.AttachObserver(s);
    }
    log.clear();
    ResizedEvent evt;
    EXPECT_TRUE(source.SendEvent(&evt));
    EXPECT_EQ(log, (Strings{"first:resized", "second:resized"}));
}

TEST(PluginEventSource, SendEventAnswersFalseWhenNobodyHandles) {
    PluginEventSource source;
    ResizedEvent evt;
    EXPECT_FALSE(source.SendEvent(&evt));
    auto sink = std::make_shared<RecordingSink>("a", false);
    source.AttachObserver(sink);
    EXPECT_FALSE(source.SendEvent(&evt));
    EXPECT_EQ(sink->received, (Strings{"attached", "resized"}));
}

TEST(PluginEventSource, ExpiredSinksAreSkippedAndDroppedWithoutEvents) {
    PluginEventSource source;
    auto gone = std::make_shared<RecordingSink>("gone", true);
    auto stays = std::make_shared<RecordingSink>("stays", true);
    source.AttachObserver(gone);
    source.AttachObserver(stays);
    gone.reset();
    ResizedEvent evt;
    EXPECT_TRUE(source.SendEvent(&evt));
    EXPECT_EQ(stays->received, (Strings{"attached", "resized"}));

    source.DetachObserver(stays);
    EXPECT_EQ(stays->received, (Strings{"attached", "resized", "detached"}));
    EXPECT_FALSE(source.SendEvent(&evt));
}

TEST(PluginEventSource, DetachingASinkAttachedTwiceRemovesBothAndTellsItTwice) {
    PluginEventSource source;
    auto sink = std::make_shared<RecordingSink>();
    auto other = std::make_shared<RecordingSink>();
    source.AttachObserver(sink);
    source.AttachObserver(other);
    source.AttachObserver(sink.get());
    TimerEvent tick(1, nullptr);
    source.SendEvent(&tick);
    EXPECT_EQ(sink->received, (Strings{"attached", "attached", "timer", "timer"}));

    source.DetachObserver(sink.get());
    EXPECT_EQ(sink->received,
              (Strings{"attached", "attached", "timer", "timer", "detached", "detached"}));
    source.SendEvent(&tick);
    EXPECT_EQ(sink->received.size(), 6u);
    EXPECT_EQ(other->received, (Strings{"attached", "timer", "timer"}));

    source.DetachObserver(sink); // no longer attached: nothing happens
    EXPECT_EQ(sink->received.size(), 6u);
}

TEST(PluginEventSource, SinksMayChangeTheListWhileHandling) {
    PluginEventSource source;
    std::vector<std::string> log;
    auto late = std::make_shared<RecordingSink>("late", false);
    auto leaver = std::make_shared<RecordingSink>("leaver", false);
    auto next = std::make_shared<RecordingSink>("next", false);
    late->log = leaver->log = next->log = &log;
    source.AttachObserver(leaver);
    source.AttachObserver(next);
    leaver->action = [&](PluginEvent* evt, PluginEventSource* src) {
        if (dynamic_cast<ResizedEvent*>(evt)) {
            src->DetachObserver(leaver.get());
            src->AttachObserver(late);
        }
    };
    log.clear();
    ResizedEvent evt;
    EXPECT_FALSE(source.SendEvent(&evt));
    // The dispatch works on the list as it was: "next" still gets the event,
    // "late" only gets its AttachedEvent.
    EXPECT_EQ(log, (Strings{"leaver:resized", "leaver:detached", "late:attached", "next:resized"}));

    log.clear();
    EXPECT_FALSE(source.SendEvent(&evt));
    EXPECT_EQ(log, (Strings{"next:resized", "late:resized"}));
}

TEST(PluginEventSource, ASinkMaySendFromInsideHandleEvent) {
    PluginEventSource source;
    auto sink = std::make_shared<RecordingSink>();
    int depth = 0;
    sink->action = [&](PluginEvent* evt, PluginEventSource* src) {
        if (dynamic_cast<ResizedEvent*>(evt) && depth++ == 0) {
            TimerEvent tick(7, nullptr);
            src->SendEvent(&tick);
        }
    };
    source.AttachObserver(sink);
    ResizedEvent evt;
    source.SendEvent(&evt);
    EXPECT_EQ(sink->received, (Strings{"attached", "resized", "timer"}));
}

TEST(PluginEventSource, EventsRaisedOnOtherThreadsAreDeliveredThere) {
    PluginEventSource source;
    std::atomic<int> onSenderThread{0};
    std::atomic<int> total{0};

    class CountingSink : public PluginEventSink {
    public:
        CountingSink(std::atomic<int>& total, std::atomic<int>& onSender)
            : total(total), onSender(onSender) {}
        bool HandleEvent(PluginEvent* evt, PluginEventSource*) override {
            if (auto* tick = dynamic_cast<TimerEvent*>(evt)) {
                ++total;
                if (*static_cast<std::thread::id*>(tick->timerParam) == std::this_thread::get_id())
                    ++onSender;
            }
            return false;
        }
        std::atomic<int>& total;
        std::atomic<int>& onSender;
    };
    auto steady = std::make_shared<CountingSink>(total, onSenderThread);
    source.AttachObserver(steady);

    std::vector<std::thread> senders;
    for (int t = 0; t < 3; ++t) {
        senders.emplace_back([&] {
            std::thread::id self = std::this_thread::get_id();
            for (int i = 0; i < 300; ++i) {
                TimerEvent tick(i, &self);
                source.SendEvent(&tick);
            }
        });
    }
    std::thread churn([&] {
        for (int i = 0; i < 200; ++i) {
            auto passing = std::make_shared<CountingSink>(total, onSenderThread);
            source.AttachObserver(passing);
            source.DetachObserver(passing);
        }
    });
    for (auto& t : senders)
        t.join();
    churn.join();
    EXPECT_GE(total.load(), 900);
    EXPECT_EQ(onSenderThread.load(), total.load());
}
