#pragma once
// A workspace: a named arrangement of adjustment layers (the layers a processor's active layer
// shows when the workspace is selected) with flags for how the list is presented. Shipped
// workspaces live in the bundle's "BundleWorkspaces" folder; the user's are "vlws" files (see
// QVWorkspaceService). Both are property-list dictionaries of the same form.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVCore/ImageProcessing/Base/QVWorkspaceModelProtocol.h"
#include "QVPlatform/Value.h"

inline constexpr const char* kQVWorkspaceIdentifierKey = "Identifier";
inline constexpr const char* kQVWorkspaceNameKey = "Name";
inline constexpr const char* kQVWorkspaceExpandedKey = "Expanded";
inline constexpr const char* kQVWorkspaceEditableKey = "Editable";
inline constexpr const char* kQVWorkspaceOrderKey = "Order";
inline constexpr const char* kQVWorkspaceIdentifierLayersKey = "IdentifierLayers";
// The shipped workspace without layers, the last fallback of the default workspace.
inline constexpr const char* kQVEmptyWorkspaceIdentifier = "empty";

// Makes the adjustment layer for a catalogue identifier under a processor's active layer, or
// nullptr when the catalogue makes none. The processor a workspace is prepared for supplies it
// (QVWorkspaceService::layerMakerForSuperlayer with its active layer); an empty maker makes no
// layers.
using QVWorkspaceLayerMaker = std::function<std::shared_ptr<QVIPLayer>(const std::string& identifier)>;

class QVWorkspace : public QVWorkspaceModelProtocol {
 public:
  QVWorkspace() = default;
  // Reads "Identifier", "Name", "Expanded", "Editable" and "Order"; a missing or mistyped value
  // keeps the default (no identifier or name, flags NO, order 0). No layers are made.
  explicit QVWorkspace(const qv::Value& dictionary);

  // A user workspace: a new UUID as identifier, expanded and editable, order 0.
  static std::shared_ptr<QVWorkspace> workspaceWithName(const std::string& name,
                                                        std::vector<std::shared_ptr<QVIPLayer>> layers);
  // The dictionary form plus the layers of "IdentifierLayers" made in order by `makeLayer`;
  // identifiers it makes no layer for (and entries that are no text) are left out.
  static std::shared_ptr<QVWorkspace> workspaceWithWithDic(const qv::Value& dictionary,
                                                           const QVWorkspaceLayerMaker& makeLayer);

  // The dictionary form; "IdentifierLayers" lists the identifiers of the layers that are not hidden.
  qv::Value serialize() const;
  // The identifiers ("Identifier") of the shipped workspace files, read anew on every call.
  static std::vector<std::string> bundleWorkspaceIdentifiers();
  // Where bundleWorkspaceIdentifiers reads the shipped workspace dictionaries. The workspace
  // service installs its reader when the library loads (the entity must not call up into the
  // services); without one there are no shipped workspaces.
  static void setBundleWorkspaceReader(std::function<std::vector<qv::Value>()> reader);

  std::string identifier() const override { return identifier_; }
  void setIdentifier(std::string v) { identifier_ = std::move(v); }
  std::string name() const { return name_; }
  // A new name also means a new display name (worked out again on next use).
  void setName(std::string v) {
    name_ = std::move(v);
    localizedName_.reset();
  }
  // The display name: for a shipped workspace its name looked up in the strings table, else the
  // name itself; worked out on first use and then kept.
  std::string localizedName() override;
  void setLocalizedName(std::string v) { localizedName_ = std::move(v); }
  const std::vector<std::shared_ptr<QVIPLayer>>& subLayers() const override { return subLayers_; }
  void setSubLayers(std::vector<std::shared_ptr<QVIPLayer>> layers) { subLayers_ = std::move(layers); }
  bool expanded() const { return expanded_; }
  void setExpanded(bool v) { expanded_ = v; }
  bool editable() const { return editable_; }
  void setEditable(bool v) { editable_ = v; }
  int64_t order() const { return order_; }
  void setOrder(int64_t v) { order_ = v; }

 private:
  std::string identifier_;
  std::string name_;
  std::optional<std::string> localizedName_;
  std::vector<std::shared_ptr<QVIPLayer>> subLayers_;
  bool expanded_ = false;
  bool editable_ = false;
  int64_t order_ = 0;
};
