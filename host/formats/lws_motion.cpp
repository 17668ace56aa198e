// Motion blocks of the scene file reader: NumChannels, the channels and
// their envelopes; and what the reader passes over, nested `{ ... }` blocks
// and plug-in data up to EndPlugin.
#include <algorithm>
#include <string>

#include "lws_reader.h"

namespace lwhost::lws {

void SceneReader::read_motion(Tokens& tokens, std::string_view keyword) {
    Item& item = current(keyword);
    const bool fits = (keyword == "ObjectMotion" && item.type == ItemType::Object) ||
                      (keyword == "BoneMotion" && item.type == ItemType::Bone) ||
                      (keyword == "LightMotion" && item.type == ItemType::Light) ||
                      (keyword == "CameraMotion" && item.type == ItemType::Camera);
    if (!fits) fail(std::string(keyword) + " does not belong to the item before it, " + describe(item.id));
    if (!tokens.done()) fail(std::string(keyword) + " has more on its line than expected (an older scene format?)");
    if (!next_line()) fail(std::string(keyword) + ": the file ends before NumChannels");
    Tokens count_line(line_);
    if (count_line.next() != "NumChannels") fail(std::string(keyword) + " is not followed by NumChannels");
    const long long channels = integer(count_line, "NumChannels", 0, kChannelCount);
    end_of_line(count_line, "NumChannels");

    bool seen[kChannelCount] = {};
    for (long long k = 0; k < channels; ++k) {
        if (!next_line()) fail("the file ends after " + std::to_string(k) + " of " + std::to_string(channels) + " channels");
        Tokens channel_line(line_);
        if (channel_line.next() != "Channel")
            fail("expected Channel (" + std::to_string(k) + " of " + std::to_string(channels) + " read)");
        const long long channel = integer(channel_line, "Channel", 0, kChannelCount - 1);
        end_of_line(channel_line, "Channel");
        if (seen[channel]) fail("Channel " + std::to_string(channel) + " appears twice");
        seen[channel] = true;
        if (!next_line()) fail("the file ends before the envelope of channel " + std::to_string(channel));
        Tokens open(line_);
        if (open.next() != "{" || open.next() != "Envelope" || !open.done()) fail("expected '{ Envelope'");
        read_envelope(item.motion[std::size_t(channel)]);
    }
}

void SceneReader::read_envelope(Envelope& envelope) {
    const std::size_t opened = lines_.number();
    auto ends_early = [&] { fail("the file ends inside the envelope opened at line " + std::to_string(opened)); };
    if (!next_line()) ends_early();
    Tokens count_line(line_);
    const long long count = integer(count_line, "the key count", 0, 1LL << 40);
    end_of_line(count_line, "the key count");
    envelope.keys.clear();
    envelope.param_rows.clear();
    // A count is only a claim: room for no more keys than lines could follow.
    envelope.keys.reserve(std::size_t(std::min<long long>(count, (long long)(lines_.bytes_left() / 16))));
    for (long long k = 0; k < count; ++k) {
        if (!next_line()) ends_early();
        Tokens key_line(line_);
        if (key_line.next() != "Key")
            fail("expected Key " + std::to_string(k + 1) + " of " + std::to_string(count) + " (the key count does not match)");
        Key key;
        key.value = real(key_line, "Key value");
        key.time = real(key_line, "Key time");
        key.shape = static_cast<SpanType>(integer(key_line, "Key span type", 0, 5));
        double p[6];
        reals(key_line, "Key parameters", p, 6);
        end_of_line(key_line, "Key");
        if (!envelope.keys.empty() && !(key.time > envelope.keys.back().time))
            fail("key times must increase; " + std::string(lws::trim(line_)) + " does not");
        KeyParams params;
        switch (key.shape) {
        case SpanType::Hermite:
        case SpanType::Bezier1D:
            params.param[0] = p[3];  // incoming tangent
            params.param[1] = p[4];  // outgoing tangent
            break;
        case SpanType::Bezier2D:
            for (int i = 0; i < 4; ++i) params.param[i] = p[i];
            break;
        default:  // TCB; linear and stepped keys keep their numbers too, unused
            for (int i = 0; i < 3; ++i) params.param[i] = p[i];
            break;
        }
        envelope.keys.push_back(key);
        if (params.param[0] != 0.0 || params.param[1] != 0.0 || params.param[2] != 0.0 || params.param[3] != 0.0)
            envelope.edit_params(envelope.keys.size() - 1) = params;
    }
    bool behaviors = false;
    while (true) {
        if (!next_line()) ends_early();
        Tokens tokens(line_);
        std::string_view keyword = tokens.next();
        if (keyword == "}") {
            if (!tokens.done()) fail("'}' has more on its line than expected");
            break;
        }
        if (keyword == "Behaviors") {
            if (behaviors) fail("Behaviors appears twice in one envelope");
            behaviors = true;
            envelope.pre = static_cast<Behavior>(integer(tokens, "Behaviors", 0, 5));
            envelope.post = static_cast<Behavior>(integer(tokens, "Behaviors", 0, 5));
            end_of_line(tokens, keyword);
        } else if (!keyword.empty() && keyword.front() == '{') {
            skip_block(line_);  // a channel modifier's settings
        } else if (keyword == "Key") {
            fail("more keys than the envelope's count of " + std::to_string(count));
        } else if (!keyword.empty()) {
            fail("'" + std::string(keyword) + "' inside an envelope");
        }
    }
}

void SceneReader::skip_block(std::string_view opening) {
    const std::size_t opened = lines_.number();
    const std::string name(lws::trim(opening));
    std::size_t depth = 1;
    while (depth > 0) {
        if (!next_line()) fail("the block '" + name + "' opened at line " + std::to_string(opened) + " is not closed");
        std::string_view text = lws::trim(line_);
        if (!text.empty() && text.front() == '{') ++depth;
        else if (text == "}") --depth;
    }
}

void SceneReader::skip_plugin() {
    const std::size_t opened = lines_.number();
    while (true) {
        if (!next_line()) fail("the plug-in data from line " + std::to_string(opened) + " has no EndPlugin");
        Tokens tokens(line_);
        if (tokens.next() == "EndPlugin") return;
    }
}

}  // namespace lwhost::lws
