// The parallel encoder: jobs that code segments from a tree of their own, joined where the
// true run's state and theirs are the same.
#include "tools/parallel_encoder.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <thread>
#include <vector>

#include "codec/encoder_core.h"
#include "codec/stream_io.h"
#include "tools/os.h"

namespace {

constexpr uint64_t NO_END = UINT64_MAX;

// Input read at explicit offsets, so that jobs share the file without
// sharing a position; a read error is kept for the caller.
struct TOffsetSource {
    FILE* file;
    uint64_t offset;
    bool failed = false;
    std::string error;

    size_t Read(uint8_t* buffer, size_t count) {
        size_t got = 0;
        if (!ReadAt(file, offset, buffer, count, &got, &error)) failed = true;
        offset += got;
        return got;
    }
};

// TBlockInput over a file at an offset, with a block of its own.
class TOffsetInput {
public:
    TOffsetInput(FILE* file, uint64_t offset)
        : block_(new uint8_t[TLZSS::IO_BLOCK]),
          in_(TOffsetSource{file, offset, false, std::string()}, block_.get()) {}

    int Next() { return in_.Next(); }
    bool Failed() { return in_.From().failed; }
    const std::string& Error() { return in_.From().error; }

private:
    std::unique_ptr<uint8_t[]> block_;
    TBlockInput<TOffsetSource> in_;
};

// The encoder's state with storage of its own, and the input offset of the
// next byte to code (the first lookahead byte).
struct TOwnedState {
    uint8_t text[TLZSS::RING_BYTES];
    uint16_t kids[TPackedTree::KID_LINKS];
    uint16_t up[TPackedTree::UP_LINKS];
    int s = 0, r = 0, len = 0;
    int32_t matchPos = 0, matchLen = 0;
    uint64_t pos = 0;

    TEncoderState Load() {
        return TEncoderState{text, TPackedTree{kids, up}, s, r, len, matchPos, matchLen};
    }
    void Store(const TEncoderState& state) {
        s = state.s;
        r = state.r;
        len = state.len;
        matchPos = state.matchPos;
        matchLen = state.matchLen;
    }
    // The same state: every byte the encoder can read again.
    bool SameAs(const TOwnedState& other) const {
        return pos == other.pos && s == other.s && r == other.r && len == other.len &&
               matchPos == other.matchPos && matchLen == other.matchLen &&
               std::memcmp(text, other.text, sizeof text) == 0 &&
               std::memcmp(kids, other.kids, sizeof kids) == 0 &&
               std::memcmp(up, other.up, sizeof up) == 0;
    }
};

// An empty tree: no roots, no positions in it.
void ClearTree(TOwnedState& state) {
    std::fill(std::begin(state.kids), std::end(state.kids), static_cast<uint16_t>(TLZSS::NO_NODE));
    std::fill(std::begin(state.up), std::end(state.up), static_cast<uint16_t>(TLZSS::NO_NODE));
}

// Tokens kept for later, in two streams: one flag bit per token (1 for a
// literal) and the token bytes. A mark is where a checkpoint's tokens start.
class TTokenList {
public:
    struct Mark {
        size_t tokens = 0;
        size_t bytes = 0;
    };

    void Literal(uint8_t byte) {
        Flag(1);
        bytes_.push_back(byte);
    }
    void Reference(uint8_t a, uint8_t b) {
        Flag(0);
        bytes_.push_back(a);
        bytes_.push_back(b);
    }
    Mark Here() const { return Mark{count_, bytes_.size()}; }
    // Room for the tokens of about `input` bytes of typical input, so that
    // the lists seldom grow (growing copies, and for a moment holds, both).
    void Reserve(uint64_t input) {
        bytes_.reserve(static_cast<size_t>(input / 8 * 5));
        flags_.reserve(static_cast<size_t>(input / 16));
    }

    // Hands the tokens from mark on to out, in order.
    void Replay(Mark from, TTokenOutput& out) const {
        const uint8_t* byte = bytes_.data() + from.bytes;
        for (size_t t = from.tokens; t < count_; ++t) {
            if ((flags_[t >> 3] >> (t & 7)) & 1) {
                out.Literal(*byte++);
            } else {
                out.Reference(byte[0], byte[1]);
                byte += 2;
            }
        }
    }

private:
    void Flag(unsigned literal) {
        if ((count_ & 7) == 0) flags_.push_back(0);
        flags_.back() |= static_cast<uint8_t>(literal << (count_ & 7));
        ++count_;
    }

    std::vector<uint8_t> flags_;
    std::vector<uint8_t> bytes_;
    size_t count_ = 0;
};

// Takes tokens and drops them: a job's warm-up.
struct TDiscard {
    void Literal(uint8_t) {}
    void Reference(uint8_t, uint8_t) {}
};

// One segment [begin, end) of the input and what its job found.
struct TJob {
    uint64_t begin = 0;
    uint64_t end = NO_END;  // NO_END: to the end of the input
    TTokenList tokens;
    std::vector<std::unique_ptr<TOwnedState>> checkpoints;  // states at token boundaries
    std::vector<TTokenList::Mark> marks;                    // where their tokens start
    std::unique_ptr<TOwnedState> last{new TOwnedState};     // state at the first boundary >= end
    bool failed = false;
    std::string error;
    std::thread thread;
};

// Codes from owned (at a token boundary) until the first token boundary at
// or after end, or the end of the input, into out; with keep, keeps a copy
// of the state (and the token mark) at the first token boundary at or after
// each of keep->begin, keep->begin + checkpoint, ... before end.
// Returns false with *error set when the input cannot be read.
template <class Output>
bool CodeOn(FILE* file, TOwnedState& owned, uint64_t end, Output& out, TJob* keep,
            uint64_t checkpoint, std::string* error) {
    TOffsetInput in(file, owned.pos + static_cast<uint64_t>(owned.len));
    TEncoderState state = owned.Load();
    uint64_t pos = owned.pos;
    uint64_t nextKeep = keep != nullptr ? keep->begin : NO_END;
    while (state.len > 0 && pos < end) {
        // A token may pass more than one checkpoint: each gets this state.
        while (pos >= nextKeep) {
            owned.Store(state);
            owned.pos = pos;
            keep->checkpoints.emplace_back(new TOwnedState(owned));
            keep->marks.push_back(keep->tokens.Here());
            nextKeep += checkpoint;
            if (nextKeep >= end) nextKeep = NO_END;
        }
        pos += static_cast<uint64_t>(CodeToken(state, in, out));
    }
    owned.Store(state);
    owned.pos = pos;
    if (in.Failed()) {
        *error = in.Error();
        return false;
    }
    return true;
}

// A job's own start: the ring as the true run has it at from (the 4078
// bytes before it and the lookahead), an empty tree and the same 19
// insertions an entry starts with. Needs from >= 4078.
bool StartAt(FILE* file, uint64_t from, TOwnedState& owned, std::string* error) {
    ClearTree(owned);
    owned.r = static_cast<int>((TLZSS::FIRST_WRITE_POS + from) % TLZSS::RING_SIZE);
    owned.s = static_cast<int>(from % TLZSS::RING_SIZE);
    uint8_t bytes[TLZSS::RING_SIZE];
    const uint64_t first = from - TLZSS::FIRST_WRITE_POS;
    size_t got = 0;
    if (!ReadAt(file, first, bytes, sizeof bytes, &got, error)) return false;
    for (size_t i = 0; i < sizeof bytes; ++i) {
        // bytes[i] is input byte first + i; the true run keeps it at ring position
        // (FIRST_WRITE_POS + first + i) mod RING_SIZE = (owned.s + i) mod RING_SIZE.
        owned.text[(static_cast<size_t>(owned.s) + i) % TLZSS::RING_SIZE] = i < got ? bytes[i] : 0;
    }
    std::memcpy(owned.text + TLZSS::RING_SIZE, owned.text, TLZSS::MAX_MATCH - 1);
    owned.len = static_cast<int>(
        std::min<size_t>(got - std::min<size_t>(got, TLZSS::FIRST_WRITE_POS), TLZSS::MAX_MATCH));
    owned.pos = from;
    owned.matchPos = 0;
    owned.matchLen = 0;
    TEncoderState state = owned.Load();
    if (state.len != 0) {
        for (int i = 1; i <= TLZSS::MAX_MATCH; ++i)
            InsertIntoTree(state.tree, state.text,
                           (state.r - i + TLZSS::RING_SIZE) % TLZSS::RING_SIZE, &state.matchPos,
                           &state.matchLen);
        InsertIntoTree(state.tree, state.text, state.r, &state.matchPos, &state.matchLen);
    }
    owned.Store(state);
    return true;
}

// The start of the entry itself, as TLZSS::Encode makes it.
bool StartEntry(FILE* file, int32_t lastMatchPos, TOwnedState& owned, std::string* error) {
    ClearTree(owned);
    std::memset(owned.text + TLZSS::FIRST_WRITE_POS, 0, TLZSS::RING_BYTES - TLZSS::FIRST_WRITE_POS);
    TOffsetInput in(file, 0);
    TEncoderState state = owned.Load();
    state.matchPos = lastMatchPos;
    BeginEntry(state, in);
    owned.Store(state);
    owned.pos = 0;
    if (in.Failed()) {
        *error = in.Error();
        return false;
    }
    return true;
}

void RunJob(FILE* file, TJob* job, const TParallelPlan& plan, int32_t lastMatchPos) {
    TOwnedState& owned = *job->last;
    bool read = true;
    if (job->begin == 0) {
        read = StartEntry(file, lastMatchPos, owned, &job->error) &&
               CodeOn(file, owned, job->end, job->tokens, nullptr, 0, &job->error);
    } else {
        TDiscard discard;
        read = StartAt(file, job->begin - plan.warmUp, owned, &job->error) &&
               CodeOn(file, owned, job->begin, discard, nullptr, 0, &job->error) &&
               CodeOn(file, owned, job->end, job->tokens, job, plan.checkpoint, &job->error);
    }
    job->failed = !read;
}

// Takes the job's tokens from the first checkpoint where the true run (truth,
// at its first token boundary at or after the segment start) is in the same
// state, coding on by itself up to there; when none agrees, codes the whole
// segment. Leaves truth at the first token boundary at or after the segment end.
bool JoinJob(FILE* file, TJob& job, const TParallelPlan& plan, std::unique_ptr<TOwnedState>& truth,
             TTokenOutput& out, TParallelStats& stats, std::string* error) {
    for (size_t i = 0;; ++i) {
        if (i < job.checkpoints.size() && truth->SameAs(*job.checkpoints[i])) {
            job.tokens.Replay(job.marks[i], out);
            truth = std::move(job.last);
            ++(i == 0 ? stats.joinedAtStart : stats.joinedLater);
            return true;
        }
        if (truth->len == 0 || truth->pos >= job.end) {
            ++stats.notJoined;
            return true;
        }
        uint64_t target = job.end;
        if (i + 1 < job.checkpoints.size()) target = job.begin + (i + 1) * plan.checkpoint;
        const uint64_t from = truth->pos;
        if (!CodeOn(file, *truth, target, out, nullptr, 0, error)) return false;
        stats.codedAgain += truth->pos - from;
    }
}

}  // namespace

bool EncodeInParallel(TLZSS& codec, FILE* input, uint64_t size, FILE* output, TDosTime time,
                      const TParallelPlan& plan, const TEncodeProgress& progress,
                      TParallelStats* statsOut, std::string* error) {
    TParallelStats stats;
    const unsigned threads = plan.threads != 0 ? plan.threads : std::thread::hardware_concurrency();
    // Segments as long as the plan says, or shorter (down to minSegment) so
    // that a smaller file still gives every thread one.
    uint64_t segment = plan.segment;
    if (threads > 1 && size / threads < segment)
        segment = std::min(plan.segment, std::max(plan.minSegment, size / threads));
    const uint64_t segments = segment != 0 ? size / segment : 0;
    const bool planSound = plan.checkpoint != 0 && plan.warmUp + TLZSS::RING_SIZE <= segment;
    // Jobs read at offsets: only a regular file allows that.
    if (threads < 2 || segments < 2 || !planSound || !IsRegularFile(input)) {
        stats.jobs = 1;
        if (statsOut != nullptr) *statsOut = stats;
        codec.Encode(input, output, time);
        if (std::ferror(input)) {
            *error = LastErrorText();
            return false;
        }
        return true;
    }

    std::deque<std::unique_ptr<TJob>> running;
    uint64_t launched = 0;
    const int32_t lastMatchPos = codec.bestPos;
    auto launch = [&]() {
        std::unique_ptr<TJob> job(new TJob);
        job->begin = launched * segment;
        job->end = launched + 1 < segments ? (launched + 1) * segment : NO_END;
        job->tokens.Reserve(segment);
        job->thread = std::thread(RunJob, input, job.get(), std::cref(plan), lastMatchPos);
        running.push_back(std::move(job));
        ++launched;
    };
    while (running.size() < threads && launched < segments) launch();
    stats.jobs = static_cast<unsigned>(segments);

    std::unique_ptr<uint8_t[]> block(new uint8_t[TLZSS::IO_BLOCK]);
    const int64_t sizesAt = WriteEntryHeader(output, time);
    TTokenOutput out(output, block.get());
    std::unique_ptr<TOwnedState> truth;
    bool sound = true;
    while (!running.empty()) {
        std::unique_ptr<TJob> job = std::move(running.front());
        running.pop_front();
        job->thread.join();
        if (!sound || (truth != nullptr && truth->len == 0)) continue;  // only waiting now
        if (job->failed) {
            *error = job->error;
            sound = false;
        } else if (truth == nullptr) {
            job->tokens.Replay(TTokenList::Mark{}, out);  // the first job is the true run
            truth = std::move(job->last);
        } else {
            sound = JoinJob(input, *job, plan, truth, out, stats, error);
        }
        // The next job starts once this one's tokens are gone, so that no
        // more than `threads` jobs hold tokens at a time.
        job.reset();
        if (sound && truth->len != 0 && launched < segments) launch();
        if (sound && progress) progress(truth->pos);
    }
    if (!sound) return false;
    codec.unpackedSize = static_cast<uint32_t>(truth->pos);
    codec.packedSize = out.Finish();
    FinishEntryHeader(output, sizesAt, codec.unpackedSize, codec.packedSize);
    if (statsOut != nullptr) *statsOut = stats;
    return true;
}
