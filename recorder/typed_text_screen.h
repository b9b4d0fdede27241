// What the person typed or copied during the episode, so that no string about to be written
// shows it: every piece of `pieceLength` characters and every short entry, kept only as
// keyed hashes under a key of this screen's own. The characters themselves are held only for
// the end of the line being typed, and wiped at each break.
#pragma once

#include "common/siphash.h"
#include "recorder/hashed_piece_set.h"
#include "recorder/typed_line.h"

#include <cstddef>
#include <string>
#include <string_view>

class TypedTextScreen {
public:
    /// A string that holds this many consecutive typed characters is held.
    static constexpr std::size_t pieceLength = 5;
    /// An entry (the typed characters between two breaks, without white space and
    /// punctuation at its ends) of this many characters or more, but shorter than a piece, is
    /// held where it stands as whole words.
    static constexpr std::size_t shortestEntry = 2;
    /// Characters of one copy that are screened; the rest of a longer text is not.
    static constexpr std::size_t copiedCharacterLimit = 16384;

    explicit TypedTextScreen(const siphash::Key& key);
    TypedTextScreen(const TypedTextScreen&) = delete;
    TypedTextScreen& operator=(const TypedTextScreen&) = delete;

    /// A key from the system's random source.
    static siphash::Key freshKey();

    /// The characters of one key press, with the special keys' characters as macOS gives them
    /// (backspace U+007F, arrows U+F700–U+F703, forward delete U+F728, return, tab, escape).
    /// Keys that move the caret out of the known line, and control characters, break it.
    void type(std::string_view characters);
    /// The caret went elsewhere (a click, a shortcut, another application): the line ends.
    void breakEntry();
    /// Text put on the clipboard: its lines are entries, its pieces are held.
    void copied(std::string_view text);

    /// True when `text` shows a typed or copied piece, or a short entry as whole words.
    bool holds(std::string_view text) const;
    /// True when `text` shows, as whole words, a beginning of `typed` shorter than a piece
    /// (longer ones are pieces): what a title or an address that follows a field shows once
    /// its first keys are in.
    static bool showsStartOf(std::string_view text, std::string_view typed);
    /// Holds the line being typed as an entry when `text`, read now, shows it as whole words:
    /// a title or an address can follow a field while its text is still shorter than a piece.
    void holdLineShownIn(std::string_view text);

private:
    void addPieces(std::u32string_view collapsed);
    void addEntry(std::u32string_view collapsed);
    bool holdsPiece(std::u32string_view collapsed) const;
    bool holdsEntry(std::u32string_view collapsed) const;

    HashedPieceSet pieces_;
    TypedLine line_;
};
