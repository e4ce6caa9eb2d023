// A reference to one configuration variable as the configuration service
// addresses it: an optional namespace, the dotted path of the node that
// holds the variable, and the variable's own name, each node and the
// variable with an instance number.
//
// The service compares names without regard to case, so both names are
// stored in lower case; two references to the same variable then compare
// equal however a caller spelled them.
#pragma once

#include <string>

class ConfigVar {
 public:
  ConfigVar(int nNamespace, const std::string& sNodeName, int nNodeInstance, const std::string& sVarName,
            int nVarInstance);
  ConfigVar(const std::string& sNodeName, int nNodeInstance, const std::string& sVarName, int nVarInstance);
  ConfigVar(const std::string& sNodeName, const std::string& sVarName);
  explicit ConfigVar(const std::string& sVarName);
  ConfigVar(const ConfigVar& other);
  ConfigVar(int nNamespace, const ConfigVar& other);
  ConfigVar& operator=(const ConfigVar& other);

  int getNamespace() const { return m_namespace; }
  const std::string& getNodeName() const { return m_sNodeName; }
  int getNodeInstance() const { return m_nNodeInstance; }
  const std::string& getVarName() const { return m_sVarName; }
  int getVarInstance() const { return m_nVarInstance; }

  // "node[i].var[j]": instances only where not 0, no node part when the
  // node name is empty.
  std::string getFQName() const;
  // getFQName() behind "cfg[n]." when the reference has a namespace.
  std::string getFullyQualifiedName() const;

  void setAsMultiStringVar(bool bIsMulti = true) { m_bIsMultiStringVar = bIsMulti; }
  bool isMultiStringVar() const { return m_bIsMultiStringVar; }

  // Same namespace, names and instances; the multi-string flag is not part
  // of a variable's identity.
  bool operator==(const ConfigVar& other) const;
  bool operator!=(const ConfigVar& other) const { return !(*this == other); }
  // Namespace, node name, node instance, variable name, variable instance.
  bool operator<(const ConfigVar& other) const;

 private:
  void init(int nNamespace, const std::string& sNodeName, int nNodeInstance, const std::string& sVarName,
            int nVarInstance);

  int m_namespace = 0;
  std::string m_sNodeName;
  int m_nNodeInstance = 0;
  std::string m_sVarName;
  int m_nVarInstance = 0;
  bool m_bIsMultiStringVar = false;
};
