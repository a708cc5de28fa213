// What core code asks of the windows around it: status texts, the mouse pointer,
// letting queued window events run and the odd message box. The windows fill these in;
// headless callers (the renderer, tests) leave them empty or record what they are given.
#pragma once

#include <functional>
#include <string>

namespace state {

// Pointer numbers of the program: 0 default, 2 cross, 5 size-all, 11 busy, ...
enum Pointer : int {
    kPointerDefault = 0,
    kPointerArrow = 1,
    kPointerCross = 2,
    kPointerIBeam = 3,
    kPointerSizeAll = 5,
    kPointerBusy = 11
};

struct UiHooks {
    std::function<void(const std::string &)> status_message; // message panel (panel 1)
    std::function<void(int)> set_pointer;                    // map window pointer
    std::function<void()> process_events;                    // let pending events run
    std::function<void(const std::string &)> message_box;    // a message with an OK button
    // A file of the project that was skipped or found damaged, for the user's list of
    // problems; the load goes on with the rest.
    std::function<void(const std::string &)> problem_found;
    std::function<void()> beep_sound; // none: silent
    // Puts what has been drawn so far on the screen now, letting no other event in;
    // none: it shows when events next run.
    std::function<void()> show_picture;

    void message(const std::string &text) const {
        if (status_message)
            status_message(text);
    }
    void pointer(int p) const {
        if (set_pointer)
            set_pointer(p);
    }
    void show() const {
        if (show_picture)
            show_picture();
    }
    void events() const {
        if (process_events)
            process_events();
    }
    void box(const std::string &text) const {
        if (message_box)
            message_box(text);
    }
    void beep() const {
        if (beep_sound)
            beep_sound();
    }
    void problem(const std::string &text) const {
        if (problem_found)
            problem_found(text);
    }
};

} // namespace state
