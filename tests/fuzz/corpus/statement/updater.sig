ScUpdater statement 1
key: 429dff854bfcfaa1
package: SCUPDATER
spec: ALL_ALL
version: 1.0.0
model: 
file: ScUpdater-1.0.0.zip
size: 1120309
sha256: ad83bd3bd2eec4f53a6bb0832f8623f68fc5db192428ed895549d4832f6be8c1
expires: 2036-12-08T17:38:53Z
replaces: 
signature: zK3cUMIigl7lHFdDzpCSqouBDdJU7IXAILNr3ibLVfnD2Vf9Qsg3SQiK93zIjYA+N0FikB0vZyfiOvziEz2jHQ==
