ScUpdater statement 1
key: 429dff854bfcfaa1
package: FP-MAIN
spec: ALL_ALL
version: 1.05
model: SC-200
file: SC-200_FP-MAIN_ALL_ALL_1.05.pdz
size: 65775
sha256: 781f7a05766c1f23ff16ffb1bf713f93eaa0b2e74a8242f4fc41e8aa3950974b
expires: 2036-12-08T17:38:53Z
replaces: 
signature: 8rBAxNasIpE+bnEuPMl6/6GKoZ7K0V4sxHgssSTTswpjDdx8AUqMWBA04JYaUzb3kTPxLyXWTdKzKSpRPLyywQ==
