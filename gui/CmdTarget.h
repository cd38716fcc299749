#pragma once
// Command routing as the program expects it: a command goes to the active pane, then the frame,
// then the application; the first target with a handler takes it. A command that no target
// handles is shown disabled, so menu items and buttons tell the user what can run now.
#include <functional>
#include <map>
#include <string>
#include <utility>

#include <wx/event.h>

#include "res/Resource.h"

class CCmdTarget {
public:
    using Handler = std::function<void(wxCommandEvent&)>;
    using UpdateHandler = std::function<void(wxUpdateUIEvent&)>;

    virtual ~CCmdTarget() = default;

    void OnCommandRange(unsigned first, unsigned last, Handler handler) {
        m_commands[{static_cast<int>(first), static_cast<int>(last)}] = std::move(handler);
    }
    void OnCommand(unsigned id, Handler handler) { OnCommandRange(id, id, std::move(handler)); }
    void OnUpdateRange(unsigned first, unsigned last, UpdateHandler handler) {
        m_updates[{static_cast<int>(first), static_cast<int>(last)}] = std::move(handler);
    }
    void OnUpdate(unsigned id, UpdateHandler handler) { OnUpdateRange(id, id, std::move(handler)); }

    // Handlers are keyed by the program's command ids; events carry the window system's.
    // True when this target handled the command.
    bool OnCmdMsg(wxCommandEvent& event) {
        const Handler* h = Find(m_commands, static_cast<int>(res::CommandId(event.GetId())));
        if (!h) return false;
        (*h)(event);
        return true;
    }
    // True when this target decided the command's state: by its update handler, or enabled
    // because it has a handler for the command.
    bool OnUpdateCmdUI(wxUpdateUIEvent& event) {
        if (const UpdateHandler* u =
                Find(m_updates, static_cast<int>(res::CommandId(event.GetId())))) {
            (*u)(event);
            return true;
        }
        if (Find(m_commands, static_cast<int>(res::CommandId(event.GetId())))) {
            event.Enable(true);
            return true;
        }
        return false;
    }
    bool HasCommand(unsigned id) const { return Find(m_commands, static_cast<int>(id)) != nullptr; }
    // Why the command is disabled here, for the status bar; empty when it is not, or when there
    // is nothing to say beyond its prompt.
    virtual std::string DisabledReason(unsigned /*id*/) const { return {}; }

private:
    template <typename Map>
    static auto Find(const Map& map, int id) -> const typename Map::mapped_type* {
        for (const auto& [range, handler] : map)
            if (id >= range.first && id <= range.second) return &handler;
        return nullptr;
    }
    std::map<std::pair<int, int>, Handler> m_commands;
    std::map<std::pair<int, int>, UpdateHandler> m_updates;
};
