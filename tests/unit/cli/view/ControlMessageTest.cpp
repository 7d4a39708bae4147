// SPDX-License-Identifier: Apache-2.0
// A page's control messages: what is accepted, what is refused and how the refusal is answered.
#include <gtest/gtest.h>

#include "ControlMessage.h"

namespace orvane::cli {
namespace {

enum class Outcome
{
    kAccepted,
    kAck,   // refused with an ack carrying the error
    kError, // refused with an error message
    kClose, // refused and the connection closed
};

struct Case
{
    std::string text;
    bool allowControl;
    Outcome outcome;
};

TEST(ControlMessage, EachMessageIsAcceptedOrRefusedAsItsRowSays)
{
    const std::string deep = R"({"type":"pause","streams":[[[["depth"]]]]})";
    const std::string tooLong = R"({"type":"pause","streams":[],"pad":")" + std::string(4096, 'x') + "\"}";
    const Case cases[] = {
        {R"({"type":"set","id":7,"name":"time-filter","value":true})", true, Outcome::kAccepted},
        {R"({"type":"set","name":"depth-range","value":"3"})", true, Outcome::kAccepted}, // as `set` takes it
        {R"({"type":"set","id":1,"name":"confidence-filter","value":{"threshold":80}})", true,
         Outcome::kAccepted},
        {R"({"type":"pause","streams":["depth","color"]})", false, Outcome::kAccepted},
        {R"({"type":"resume","id":2147483647,"streams":[]})", false, Outcome::kAccepted},
        {R"({"type":"set","id":7,"name":"time-filter","value":true})", false, Outcome::kAck}, // no control
        {R"({"type":"set","id":7,"name":"no-such","value":1})", true, Outcome::kAck},
        {R"({"type":"set","id":7,"name":"depth-range","value":6})", true, Outcome::kAck}, // out of range
        {R"({"type":"set","id":7,"name":"depth-range","value":2.5})", true, Outcome::kAck},
        {R"({"type":"set","id":7,"name":"time-filter"})", true, Outcome::kAck},
        {R"({"type":"set","id":7,"name":5,"value":1})", true, Outcome::kAck},
        {R"({"type":"set","id":7,"name":"confidence-filter","value":{"bogus":1}})", true, Outcome::kAck},
        {R"({"type":"pause","streams":["depth","audio"]})", false, Outcome::kAck},
        {R"({"type":"pause","streams":"depth"})", false, Outcome::kAck},
        {R"({"type":"pause","streams":[1]})", false, Outcome::kAck},
        {R"({"type":"pause"})", false, Outcome::kAck},
        {R"({"type":"pause","id":-1,"streams":[]})", false, Outcome::kError},
        {R"({"type":"pause","id":2147483648,"streams":[]})", false, Outcome::kError},
        {R"({"type":"pause","id":1.0,"streams":[]})", false, Outcome::kError},
        {R"({"type":"pause","id":"1","streams":[]})", false, Outcome::kError},
        {R"({"type":"reboot"})", true, Outcome::kError},
        {R"({"type":7})", true, Outcome::kError},
        {R"({"id":1})", true, Outcome::kError},
        {R"(["set"])", true, Outcome::kError},
        {R"("set")", true, Outcome::kError},
        {R"({"type":"set",)", true, Outcome::kError},
        {"", true, Outcome::kError},
        {"\xff\xfe", true, Outcome::kError},
        {deep, false, Outcome::kError},
        {tooLong, true, Outcome::kClose},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80) + (c.allowControl ? " (control)" : ""));
        const ControlVerdict verdict = ControlMessage::Parse(c.text, c.allowControl);
        EXPECT_EQ(verdict.request.has_value(), c.outcome == Outcome::kAccepted);
        EXPECT_EQ(verdict.error.empty(), c.outcome == Outcome::kAccepted) << verdict.error;
        EXPECT_EQ(verdict.answerWithAck, c.outcome == Outcome::kAck || c.outcome == Outcome::kAccepted);
        EXPECT_EQ(verdict.closeConnection, c.outcome == Outcome::kClose);
    }
}

TEST(ControlMessage, AnAcceptedSetCarriesTheCanonicalValueAndTheId)
{
    const ControlVerdict verdict =
        ControlMessage::Parse(R"({"type":"set","id":9,"name":"time-filter","value":"on"})", true);
    ASSERT_TRUE(verdict.request.has_value()) << verdict.error;
    EXPECT_STREQ(verdict.request->row->name, "time-filter");
    EXPECT_EQ(verdict.request->value, nlohmann::json(true));
    EXPECT_EQ(verdict.request->id, 9);
    const ControlVerdict refused =
        ControlMessage::Parse(R"({"type":"set","id":9,"name":"time-filter","value":"on"})", false);
    EXPECT_EQ(refused.error, ControlMessage::kControlNotAllowed);
    EXPECT_EQ(refused.id, 9);
    const ControlVerdict paused =
        ControlMessage::Parse(R"({"type":"pause","streams":["ir","color"]})", false);
    ASSERT_TRUE(paused.request.has_value());
    EXPECT_EQ(paused.request->type, ControlRequest::Type::kPause);
    EXPECT_EQ(paused.request->streams, (std::vector<ViewStream>{ViewStream::kIr, ViewStream::kColor}));
}

} // namespace
} // namespace orvane::cli
