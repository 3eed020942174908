// An operator that records every box, question and log line in order, and answers questions
// from a queue of prepared answers (No when the queue is empty).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "update/Operator.h"

struct TRecordedEvent {
    enum class TKind { Information, Error, Question, LogClear, LogLine };
    TKind Kind;
    std::string Text;
    bool operator==(const TRecordedEvent&) const = default;
};

class TRecordingOperator : public TOperator {
public:
    std::vector<TRecordedEvent> Events;
    std::deque<bool> Answers;
    int EventRuns = 0;

    void ShowInformation(const std::string& text) override {
        Events.push_back({TRecordedEvent::TKind::Information, text});
    }
    void ShowError(const std::string& text) override {
        Events.push_back({TRecordedEvent::TKind::Error, text});
    }
    bool AskYesNo(const std::string& text) override {
        Events.push_back({TRecordedEvent::TKind::Question, text});
        if (Answers.empty()) {
            return false;
        }
        const bool answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    void LogClear() override { Events.push_back({TRecordedEvent::TKind::LogClear, {}}); }
    void LogAppend(const std::string& line) override {
        Events.push_back({TRecordedEvent::TKind::LogLine, line});
    }
    void ProcessEvents() override { ++EventRuns; }
};

// The boxes and questions in order, without the log.
inline std::vector<TRecordedEvent> Boxes(const TRecordingOperator& op) {
    std::vector<TRecordedEvent> boxes;
    for (const auto& event : op.Events) {
        if (event.Kind != TRecordedEvent::TKind::LogClear &&
            event.Kind != TRecordedEvent::TKind::LogLine) {
            boxes.push_back(event);
        }
    }
    return boxes;
}
