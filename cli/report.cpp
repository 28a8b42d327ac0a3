#include "cli/report.h"

#include <cstdio>

#include "run/run_report.h"
#include "sheets/utf8.h"

namespace cli {
namespace {

using State = ChildOutcome::State;

const char* stateName(State s) {
    return s == State::Done ? "done" : s == State::Failed ? "failed" : "cancelled";
}

// A small JSON writer: objects and arrays are opened and closed by the caller, commas are its own.
class Json {
public:
    Json& open(char bracket) {
        comma();
        out_ += bracket;
        first_ = true;
        return *this;
    }
    Json& close(char bracket) {
        out_ += bracket;
        first_ = false;
        return *this;
    }
    Json& key(const char* name) {
        comma();
        quoted(name);
        out_ += ':';
        first_ = true;
        return *this;
    }
    Json& value(const std::string& text) {
        comma();
        quoted(text);
        return *this;
    }
    Json& value(const std::u16string& text) { return value(sheets::toUtf8(text)); }
    Json& value(std::size_t number) {
        comma();
        out_ += std::to_string(number);
        return *this;
    }
    Json& value(std::int64_t number) {
        comma();
        out_ += std::to_string(number);
        return *this;
    }
    Json& value(bool b) {
        comma();
        out_ += b ? "true" : "false";
        return *this;
    }
    template <class Value>
    Json& field(const char* name, const Value& v) {
        return key(name).value(v);
    }
    std::string text() const { return out_; }

private:
    void comma() {
        if (!first_) out_ += ',';
        first_ = false;
    }
    void quoted(const std::string& text) {
        out_ += '"';
        for (const unsigned char c : text) {
            if (c == '"' || c == '\\') {
                out_ += '\\';
                out_ += static_cast<char>(c);
            } else if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out_ += escaped;
            } else {
                out_ += static_cast<char>(c);
            }
        }
        out_ += '"';
    }

    std::string out_;
    bool first_ = true;
};

void duplicatesJson(Json& j, const run::MatchCounts& c) {
    j.key("duplicates").open('{').field("keys", c.duplicateKeys).field("rows", c.duplicateRows);
    j.key("examples").open('[');
    for (const auto& d : c.examples) {
        j.open('{').field("key", d.key).key("rows").open('[');
        for (const auto row : d.rows) j.value(static_cast<std::int64_t>(row));
        j.close(']').close('}');
    }
    j.close(']').close('}');
}

void nearMissesJson(Json& j, const run::NearMisses& n) {
    j.key("nearMisses").open('{').field("count", n.count).key("examples").open('[');
    for (const auto& e : n.examples) {
        j.open('{')
            .field("childRow", static_cast<std::int64_t>(e.childRow))
            .field("parentRow", static_cast<std::int64_t>(e.parentRow))
            .field("childKey", e.childKey)
            .field("parentKey", e.parentKey)
            .key("differences")
            .open('[');
        for (const auto& [differs, name] : {std::pair{e.differences.width, "width"},
                                            {e.differences.letterCase, "case"},
                                            {e.differences.invisible, "invisible"}})
            if (differs) j.value(std::string(name));
        j.close(']').close('}');
    }
    j.close(']').close('}');
}

void countsJson(Json& j, const run::MatchCounts& c) {
    j.key("counts").open('{');
    j.field("childRows", c.childRows).field("matched", c.matched).field("matchedEmpty", c.matchedEmpty);
    j.field("emptyKey", c.emptyKey).field("keyNotInParent", c.keyNotInParent);
    j.field("noPassingRow", c.noPassingRow).field("parentRows", c.parentRows);
    duplicatesJson(j, c);
    nearMissesJson(j, c.nearMisses);
    j.close('}');
}

void summaryJson(Json& j, const run::Completion& c) {
    const run::RunSummary& s = c.summary;
    if (s.counts) countsJson(j, *s.counts);
    j.field("skippedSteps", s.skippedCount).key("skipped").open('[');
    for (const auto& step : s.skipped) j.value(run::reasonText(step));
    j.close(']');
    if (s.destination)
        j.key("destination")
            .open('{')
            .field("file", s.destination->file)
            .field("sheet", s.destination->sheet)
            .field("columns", s.destination->columns)
            .close('}');
    j.field("resultFile", c.resultFile).key("backups").open('[');
    for (const auto& b : c.backups) j.value(b);
    j.close(']');
    if (!s.officeBecause.empty()) j.field("officeBecause", s.officeBecause);
    if (!s.options.empty()) j.field("options", s.options);
    j.field("details", c.detailed);
}

}  // namespace

std::string outcomeText(const ChildOutcome& o) {
    std::string text = "子表 " + o.child + "：";
    if (o.state == State::Cancelled) return text + "已取消，未保存任何文件\n";
    text += o.state == State::Done ? "操作完成\n" : "失败：" + sheets::toUtf8(o.message) + "\n";
    if (!o.detail.empty()) text += sheets::toUtf8(o.detail) + "\n";
    if (o.completion) {
        if (!o.completion->informative.empty() && o.state == State::Done)
            text += sheets::toUtf8(o.completion->informative) + "\n";
        text += sheets::toUtf8(o.completion->detailed);
        if (!text.empty() && text.back() != '\n') text += '\n';
    }
    return text;
}

std::string totalsText(const std::vector<ChildOutcome>& outcomes, std::size_t children) {
    std::size_t done = 0, failed = 0, cancelled = 0;
    for (const auto& o : outcomes)
        (o.state == State::Done ? done : o.state == State::Failed ? failed : cancelled)++;
    std::string text = "共 " + std::to_string(children) + " 个子表：" + std::to_string(done) + " 个完成";
    if (failed) text += "，" + std::to_string(failed) + " 个失败";
    if (cancelled) text += "，" + std::to_string(cancelled) + " 个已取消";
    if (children > outcomes.size()) text += "，" + std::to_string(children - outcomes.size()) + " 个未运行";
    return text + "\n";
}

std::string outcomesJson(const std::vector<ChildOutcome>& outcomes, std::size_t children) {
    Json j;
    j.open('{').key("runs").open('[');
    std::size_t done = 0;
    for (const auto& o : outcomes) {
        done += o.state == State::Done;
        j.open('{').field("child", o.child).field("status", std::string(stateName(o.state)));
        if (!o.message.empty()) j.field("message", o.message);
        if (!o.detail.empty()) j.field("reason", o.detail);
        if (o.completion) summaryJson(j, *o.completion);
        j.close('}');
    }
    j.close(']').field("finished", done).field("failed", outcomes.size() - done);
    j.field("notRun", children - outcomes.size()).close('}');
    return j.text() + "\n";
}

}  // namespace cli
