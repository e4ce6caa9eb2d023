#include "config/common/configvar.h"

#include <cctype>
#include <tuple>

namespace {

std::string lowerCase(const std::string& s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string withInstance(const std::string& name, int instance) {
  if (instance == 0) return name;
  return name + "[" + std::to_string(instance) + "]";
}

}  // namespace

ConfigVar::ConfigVar(int nNamespace, const std::string& sNodeName, int nNodeInstance, const std::string& sVarName,
                     int nVarInstance) {
  init(nNamespace, sNodeName, nNodeInstance, sVarName, nVarInstance);
}

ConfigVar::ConfigVar(const std::string& sNodeName, int nNodeInstance, const std::string& sVarName,
                     int nVarInstance) {
  init(0, sNodeName, nNodeInstance, sVarName, nVarInstance);
}

ConfigVar::ConfigVar(const std::string& sNodeName, const std::string& sVarName) { init(0, sNodeName, 0, sVarName, 0); }

ConfigVar::ConfigVar(const std::string& sVarName) { init(0, "", 0, sVarName, 0); }

// A copy is a fresh reference to the same variable: it does not inherit the
// multi-string flag, which describes how one caller handles the value.
ConfigVar::ConfigVar(const ConfigVar& other) {
  init(other.m_namespace, other.m_sNodeName, other.m_nNodeInstance, other.m_sVarName, other.m_nVarInstance);
}

ConfigVar::ConfigVar(int nNamespace, const ConfigVar& other) {
  init(nNamespace, other.m_sNodeName, other.m_nNodeInstance, other.m_sVarName, other.m_nVarInstance);
}

ConfigVar& ConfigVar::operator=(const ConfigVar& other) {
  if (this != &other) {
    init(other.m_namespace, other.m_sNodeName, other.m_nNodeInstance, other.m_sVarName, other.m_nVarInstance);
  }
  return *this;
}

void ConfigVar::init(int nNamespace, const std::string& sNodeName, int nNodeInstance, const std::string& sVarName,
                     int nVarInstance) {
  m_namespace = nNamespace;
  m_sNodeName = lowerCase(sNodeName);
  m_nNodeInstance = nNodeInstance;
  m_sVarName = lowerCase(sVarName);
  m_nVarInstance = nVarInstance;
  m_bIsMultiStringVar = false;
}

std::string ConfigVar::getFQName() const {
  std::string var = withInstance(m_sVarName, m_nVarInstance);
  if (m_sNodeName.empty()) return var;
  return withInstance(m_sNodeName, m_nNodeInstance) + "." + var;
}

std::string ConfigVar::getFullyQualifiedName() const {
  if (m_namespace < 1) return getFQName();
  return "cfg[" + std::to_string(m_namespace) + "]." + getFQName();
}

bool ConfigVar::operator==(const ConfigVar& other) const {
  return m_namespace == other.m_namespace && m_sNodeName == other.m_sNodeName &&
         m_nNodeInstance == other.m_nNodeInstance && m_sVarName == other.m_sVarName &&
         m_nVarInstance == other.m_nVarInstance;
}

bool ConfigVar::operator<(const ConfigVar& other) const {
  return std::tie(m_namespace, m_sNodeName, m_nNodeInstance, m_sVarName, m_nVarInstance) <
         std::tie(other.m_namespace, other.m_sNodeName, other.m_nNodeInstance, other.m_sVarName,
                  other.m_nVarInstance);
}
